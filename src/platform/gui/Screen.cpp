#include "platform/gui/Screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtMath>

namespace wibblet::Screen {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

double LogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 0.0;
    return dpi > 0.0 ? dpi : kFallbackDpi;
}

} // namespace

double TwipsPerPixel()
{
    return kTwipsPerInch / LogicalDpi();
}

int Px(int twips)
{
    return qRound(twips / TwipsPerPixel());
}

int Twips(int pixels)
{
    return qRound(pixels * TwipsPerPixel());
}

void Place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QSize Size()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

void Centre(QWidget* window)
{
    if (!window)
        return;
    // Until the window manager has framed a shown window, Qt reports the frame
    // as the client area; centring the client area then is close enough and
    // the later frame only shifts it by the border width.
    const QSize screen = Size();
    const QSize frame = window->frameGeometry().size();
    window->move(screen.width() / 2 - frame.width() / 2, screen.height() / 2 - frame.height() / 2);
}

void SetTopMost(QWidget* window)
{
    if (!window)
        return;
    // Changing the flags recreates the native window and hides it; put it back
    // exactly where it was.
    const bool wasVisible = window->isVisible();
    const QRect geometry = window->geometry();
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint)) {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        window->setGeometry(geometry);
        if (wasVisible)
            window->show();
    }
    // Raised, not activated: the keyboard stays with the window the user
    // types in.
    window->raise();
}

void SetTitle(QWidget* window, const QString& title)
{
    window->setWindowTitle(title.isEmpty() ? QStringLiteral(" ") : title);
}

} // namespace wibblet::Screen
