#pragma once

#include <QSize>
#include <QString>

class QWidget;

namespace wibblet::Screen {

/// Twips per pixel at the screen's logical DPI (15 at 96 dpi).
double TwipsPerPixel();
/// A length in twips as pixels, rounded.
int Px(int twips);
/// A length in pixels as twips, rounded.
int Twips(int pixels);
/// Sets a control's geometry from a layout given in twips.
void Place(QWidget* control, int left, int top, int width, int height);
/// The primary screen's size in pixels.
QSize Size();

/// Places a window's frame so that top = screen height / 2 − window height / 2
/// and left likewise.
void Centre(QWidget* window);
/// Sets a window's caption. An empty one is shown as a single space: on X11
/// Qt would put the program's name in its place, and the caption is meant
/// to be blank (a space also reads as nothing in the old WM_NAME).
void SetTitle(QWidget* window, const QString& title);
/// Puts a window above all normal windows, without moving or resizing it
/// and without giving it the keyboard.
void SetTopMost(QWidget* window);

} // namespace wibblet::Screen
