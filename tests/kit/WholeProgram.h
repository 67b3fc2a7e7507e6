#pragma once

#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "mainwin/frmMain.h"
#include "platform/InstanceLock.h"
#include "platform/gui/TrayIcon.h"

#include <QByteArray>
#include <QString>

namespace wibblet::test {

/// A whole program (frmMain) on the socket it is given, started from a
/// program file of its own in folder (made if need be), so it has its own
/// settings file and single-copy lock; with scripted boxes, a manual clock
/// and an observable tray icon. Ending the process only counts.
struct WholeProgram {
    WholeProgram(UdpSocket& socket, const QString& folder);

    QString SettingsPath() const { return programFile + QStringLiteral(".ini"); }

    /// Writes the settings file (unless settings is empty) and loads the
    /// main form. False when either fails.
    bool Load(const QByteArray& settings = QByteArray());

    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    TrayIcon tray;
    InstanceLock lock;
    QString programFile;
    int ended = 0;
    frmMain main;
};

} // namespace wibblet::test
