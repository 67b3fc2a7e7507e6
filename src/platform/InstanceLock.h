#pragma once

#include <QString>

namespace wibblet {

/// Tells whether another copy of a program is running: the first copy holds
/// an exclusive lock on a file (the program file itself, or a lock file in the
/// config folder: ProgramFile::PlacesFor), released when the process ends
/// however it ends.
class InstanceLock {
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    /// Takes the lock on file, made if missing; false when another holder has it.
    bool TryAcquire(const QString& file);

private:
    int fd_ = -1;
};

} // namespace wibblet
