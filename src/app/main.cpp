#include "mainwin/frmMain.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/PosixUdpSocket.h"
#include "platform/ProgramFile.h"
#include "platform/gui/QtMessageBoxes.h"
#include "platform/gui/TrayIcon.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The icons live in a static library: pull its resources in.
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    // The program lives in the tray: hiding its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Wibblet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));

    wibblet::PosixUdpSocket socket;
    wibblet::QtMessageBoxes boxes;
    wibblet::SystemClock clock;
    wibblet::QtTrayIcon tray;
    wibblet::InstanceLock lock;
    wibblet::frmMain main({socket, boxes, clock, tray, lock, wibblet::ProgramFile::Path(),
                           [] { QCoreApplication::exit(0); }});
    if (!main.Form_Load())
        return 0;
    return QApplication::exec();
}
