#include "app/Startup.h"

#include "mainwin/frmMain.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/PosixUdpSocket.h"
#include "platform/ProgramFile.h"
#include "platform/SignalWatcher.h"
#include "platform/gui/JapaneseQtTexts.h"
#include "platform/gui/TrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>

#include <csignal>

// The icons live in a static library: pull its resources in. The macro names
// the library's function as declared outside any namespace, so it is called
// from out here.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace wibblet {

int RunProgram(int& argc, char** argv, MessageBoxes& boxes, const MainWindowBuilt& mainWindowBuilt)
{
    InitResources();
    QApplication app(argc, argv);
    // The program lives in the tray: hiding its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Wibblet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // Before any window: a translation installed later would reset the
    // texts set on the message boxes' buttons.
    const JapaneseQtTexts qtTexts;

    PosixUdpSocket socket;
    SystemClock clock;
    QtTrayIcon tray;
    InstanceLock lock;
    bool ended = false;
    const auto endProcess = [&ended] {
        ended = true;
        QCoreApplication::exit(0);
    };
    // The one place that reads where the user's config folder is.
    const QString configHome =
        ProgramFile::ConfigHome(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
    frmMain main({socket, boxes, clock, tray, lock, ProgramFile::Path(), endProcess, configHome});

    // Being told to stop, or the desktop session ending, closes the main window:
    // the exit goes out and the tray icon goes away, with no question asked.
    // During start-up (a box may hold it) start-up is let finish first, so the
    // exit is the last thing the others hear.
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
    SignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&watcher, &SignalWatcher::Received, &main, stop);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &main, stop);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &main, stop);
    const std::unique_ptr<QObject> kept = mainWindowBuilt ? mainWindowBuilt(main, tray) : nullptr;

    if (!main.Form_Load())
        return 0;
    started = true;
    if (stopWhenStarted)
        main.close();
    if (ended)
        return 0;
    return QApplication::exec();
}

} // namespace wibblet
