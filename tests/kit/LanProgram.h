#pragma once

#include "kit/VirtualLan.h"
#include "kit/WholeProgram.h"

#include <QDir>

#include <memory>

namespace wibblet::test {

/// The socket of a LanProgram, a base so that it is made before the
/// program that runs on it and goes after it.
struct LanHost {
    std::unique_ptr<VirtualSocket> socket;
};

/// A whole program on a host of its own of the virtual LAN. Several share
/// folder, each in a subfolder named after its host.
struct LanProgram : LanHost, WholeProgram {
    LanProgram(VirtualLan& lan, const QString& folder, const QString& host, const QString& ip)
        : LanHost{lan.CreateSocket(host, ip)},
          WholeProgram(*socket, QDir(folder).filePath(host))
    {
    }
};

} // namespace wibblet::test
