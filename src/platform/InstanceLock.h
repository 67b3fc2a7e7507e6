#pragma once

#include <QString>

namespace wibblet {

/// Tells whether another copy of a program file is running: the first copy
/// holds an exclusive lock on the program file itself, released when the
/// process ends however it ends.
class InstanceLock {
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    /// Takes the lock for programFile; false when another holder has it.
    bool TryAcquire(const QString& programFile);

private:
    int fd_ = -1;
};

} // namespace wibblet
