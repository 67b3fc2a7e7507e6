// The tray icon: tip, flashing, mouse events, and hiding on minimize.
#include "mainwin/frmMain.h"

#include "mainwin/frmAbout.h"
#include "platform/gui/TrayIcon.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace wibblet {

QString frmMain::PlainTip() const
{
    return QStringLiteral("Wibblet(") + QString::number(members_.Count()) + QLatin1Char(')');
}

void frmMain::UpdIcon()
{
    env_.tray.Modify(TrayPicture::Main, PlainTip());
}

void frmMain::FlashIcon(qint32 which)
{
    TrayPicture picture = env_.tray.Picture();
    if (which == 0)
        picture = TrayPicture::Letter;
    else if (which == 1)
        picture = TrayPicture::Main;
    env_.tray.Modify(picture, PlainTip() + QStringLiteral("\r\nメッセージあり"));
}

void frmMain::StartTrayTick()
{
    if (!timTimer2_->isActive())
        timTimer2_->start();
}

void frmMain::timTimer2_Timer()
{
    if (!NonPopMsg) {
        // The plain tip is back and matches the list: nothing more to show
        // until the count changes or a message is held again.
        UpdIcon();
        timTimer2_->stop();
        return;
    }
    // Main icon for two ticks, letter for one; the phase carries over to the
    // next waiting period.
    if (FlashCnt == 0 || FlashCnt == 1) {
        FlashIcon(1);
        ++FlashCnt;
    } else {
        FlashIcon(0);
        FlashCnt = 0;
    }
}

void frmMain::TrayIcon_Event(TrayEvent event, QPoint globalPos)
{
    switch (event) {
    case TrayEvent::LeftPress:
        Restore();
        break;
    case TrayEvent::LeftDoubleClick:
        show();
        setWindowState(windowState() & ~Qt::WindowMinimized);
        activateWindow();
        break;
    case TrayEvent::RightPress:
        activateWindow();
        QApplication::processEvents();
        mnuMain_->popup(globalPos);
        break;
    }
}

void frmMain::mnuResize_Click()
{
    Restore();
}

void frmMain::mnuAbout_Click()
{
    if (!about_)
        about_ = new frmAbout(this);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void frmMain::Restore()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    NonPopOff();
}

void frmMain::changeEvent(QEvent* event)
{
    // A minimized main window disappears entirely; only the tray brings it
    // back. Hidden once the state change is through, or showMinimized() would
    // show it again right after.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                hide();
        });
    }
    QWidget::changeEvent(event);
}

} // namespace wibblet
