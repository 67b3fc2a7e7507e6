#pragma once

#include "BenchSocket.h"

#include "mainwin/frmMain.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/gui/TrayIcon.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace wibblet::bench {

/// Whether datagrams really go out (into a cable of a private
/// network namespace, see bench_main.cpp) or are only counted.
bool RepliesSent();

/// A whole program with its main window hidden, as it runs from the tray:
/// the real socket (see BenchSocket), boxes that answer by themselves, a
/// settings file in a folder of its own.
struct BenchProgram {
    explicit BenchProgram(const QByteArray& settings = QByteArray())
        : socket(RepliesSent()),
          programFile(dir.filePath(QStringLiteral("wibblet"))),
          main(std::make_unique<frmMain>(
              Environment{socket, boxes, clock, tray, lock, programFile, [] {}}))
    {
        QFile(programFile).open(QIODevice::WriteOnly);
        if (!settings.isEmpty()) {
            QFile file(programFile + QStringLiteral(".ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(settings);
        }
        main->Form_Load();
    }

    QTemporaryDir dir;
    BenchSocket socket;
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    TrayIcon tray;
    InstanceLock lock;
    QString programFile;
    std::unique_ptr<frmMain> main;
};

} // namespace wibblet::bench
