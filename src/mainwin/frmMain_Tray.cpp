// The tray icon's mouse events, the menu's window items, hiding on minimize,
// and the menu on the window where there is no tray.
#include "mainwin/frmMain.h"

#include "mainwin/frmAbout.h"
#include "platform/gui/TrayIcon.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace wibblet {

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
    // show it again right after. Without a tray it stays an ordinary window.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)
        && env_.tray.Available()) {
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                hide();
        });
    }
    QWidget::changeEvent(event);
}

void frmMain::contextMenuEvent(QContextMenuEvent* event)
{
    // Absence mode, the options, about and exit live in the tray's menu;
    // without a tray a right-click on the window is the way to them.
    if (env_.tray.Available()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    mnuMain_->popup(event->globalPos());
}

} // namespace wibblet
