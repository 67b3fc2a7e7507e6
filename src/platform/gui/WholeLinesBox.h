#pragma once

#include <QMessageBox>

namespace wibblet {

/// A message box that breaks its text only where the text breaks itself.
/// QMessageBox wraps any line wider than about half the screen (500 pixels
/// at most) at a place of its choosing, which in Japanese is mid-word
/// ("ありま" / "す。"); this box is as wide as its longest line instead.
/// Only a line wider than the screen is broken, at a space or anywhere, in a
/// box as wide as the screen: a broken line can be read, one running off the
/// screen cannot. The box is never narrower than its caption.
class WholeLinesBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent* event) override;

private:
    /// Whether the box was sized anew.
    bool KeepLinesWhole();
};

} // namespace wibblet
