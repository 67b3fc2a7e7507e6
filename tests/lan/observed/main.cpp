// The program as shipped, with message boxes that do not block and an
// observer on standard input, for the tests that run it on a namespaced LAN.
#include "ObservedBoxes.h"
#include "Observer.h"

#include "mainwin/frmMain.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/PosixUdpSocket.h"
#include "platform/ProgramFile.h"
#include "platform/SignalWatcher.h"
#include "platform/gui/TrayIcon.h"

#include <QApplication>
#include <QSessionManager>

#include <csignal>

int main(int argc, char** argv)
{
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Wibblet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));

    wibblet::PosixUdpSocket socket;
    wibblet::test::ObservedBoxes boxes;
    wibblet::SystemClock clock;
    wibblet::QtTrayIcon tray;
    wibblet::InstanceLock lock;
    bool ended = false;
    const auto endProcess = [&ended] {
        ended = true;
        QCoreApplication::exit(0);
    };
    wibblet::frmMain main(
        {socket, boxes, clock, tray, lock, wibblet::ProgramFile::Path(), endProcess});

    bool started = false;
    bool stopWhenStarted = false;
    const auto stop = [&] {
        if (started) {
            main.close();
            return;
        }
        stopWhenStarted = true;
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    };
    wibblet::SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&watcher, &wibblet::SignalWatcher::Received, &main, stop);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &main, stop);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &main, stop);
    wibblet::test::Observer observer(main, tray, boxes);

    if (!main.Form_Load())
        return 0;
    started = true;
    if (stopWhenStarted)
        main.close();
    if (ended)
        return 0;
    return QApplication::exec();
}
