#pragma once

#include <QSize>

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
/// Puts a shown window above all normal windows and activates it, without
/// moving or resizing it.
void SetTopMost(QWidget* window);

} // namespace wibblet::Screen
