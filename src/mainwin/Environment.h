#pragma once

#include <QString>

#include <functional>

namespace wibblet {

class UdpSocket;
class MessageBoxes;
class Clock;
class TrayIcon;
class InstanceLock;

/// What a running program talks through: the real services in the program,
/// a virtual LAN, scripted boxes and a manual clock in tests.
struct Environment {
    UdpSocket& socket;
    MessageBoxes& boxes;
    Clock& clock;
    TrayIcon& tray;
    InstanceLock& instanceLock;
    QString programFile;              ///< decides the settings file and the single copy
    std::function<void()> endProcess; ///< ends the process at once
    /// $XDG_CONFIG_HOME or ~/.config: settings and the single copy go to its
    /// wibblet folder when the program's folder is not writable (none: never).
    QString configHome = {};
};

} // namespace wibblet
