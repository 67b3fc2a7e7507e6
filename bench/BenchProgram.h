#pragma once

#include "BenchSocket.h"

#include "kit/WholeProgram.h"

#include <QTemporaryDir>

namespace wibblet::bench {

/// Whether datagrams really go out (into a cable of a private
/// network namespace, see bench_main.cpp) or are only counted.
bool RepliesSent();

/// What a BenchProgram runs on, made before the program and gone after it.
struct BenchHost {
    QTemporaryDir dir;
    BenchSocket socket{RepliesSent()};
};

/// A whole program with its main window hidden, as it runs from the tray:
/// the real socket (see BenchSocket), boxes that answer by themselves, a
/// settings file in a folder of its own.
struct BenchProgram : BenchHost, test::WholeProgram {
    explicit BenchProgram(const QByteArray& settings = QByteArray())
        : WholeProgram(socket, dir.path())
    {
        Load(settings);
    }
};

} // namespace wibblet::bench
