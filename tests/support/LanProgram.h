#pragma once

#include "mainwin/frmMain.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/VirtualLan.h"
#include "platform/gui/TrayIcon.h"

#include <QDir>
#include <QFile>

#include <memory>

namespace wibblet::test {

/// A whole program on the virtual LAN, started from a program file of its
/// own in folder (so it has its own settings file), with scripted boxes, a
/// manual clock and an observable tray icon.
struct LanProgram {
    LanProgram(VirtualLan& lan, const QString& folder, const QString& host, const QString& ip)
        : socket(lan.CreateSocket(host, ip)),
          programFile(QDir(folder).filePath(host + QStringLiteral("/wibblet"))),
          main(Environment{*socket, boxes, clock, tray, lock, programFile, [this] { ++ended; }})
    {
        QDir(folder).mkpath(host);
        QFile(programFile).open(QIODevice::WriteOnly);
    }

    QString SettingsPath() const { return programFile + QStringLiteral(".ini"); }

    std::unique_ptr<VirtualSocket> socket;
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    TrayIcon tray;
    InstanceLock lock;
    QString programFile;
    int ended = 0;
    frmMain main;
};

} // namespace wibblet::test
