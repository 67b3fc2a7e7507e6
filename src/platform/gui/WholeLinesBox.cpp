#include "platform/gui/WholeLinesBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QScreen>

#include <algorithm>

namespace wibblet {

namespace {

// Breaks every line wider than width: after its last space that fits, or
// anywhere where none does (a name of 200 letters has no place to break,
// and Qt's word wrap would let it run off the box).
QString BrokenToWidth(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        while (line.size() > 1 && metrics.horizontalAdvance(line) > width) {
            qsizetype fit = 1;
            while (fit < line.size() && metrics.horizontalAdvance(line.left(fit + 1)) <= width)
                ++fit;
            const qsizetype space = line.lastIndexOf(QLatin1Char(' '), fit - 1);
            qsizetype cut = space > 0 ? space + 1 : fit;
            if (line.at(cut).isLowSurrogate()) // never half a character
                cut = cut > 1 ? cut - 1 : cut + 1;
            lines << line.left(cut);
            line.remove(0, cut);
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

bool WholeLinesBox::event(QEvent* event)
{
    // QMessageBox sizes itself, and turns wrapping on, when it is shown and
    // on every layout request: undo that each time, right after it. Only
    // these two are looked at after the base class has had them; others
    // (a deferred delete) may have ended the box.
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::LayoutRequest)
        return QMessageBox::event(event);
    const bool handled = QMessageBox::event(event);
    // QDialog centred the box at the width QMessageBox gave it.
    if (KeepLinesWhole() && type == QEvent::Show && !event->spontaneous()
        && !testAttribute(Qt::WA_Moved)) {
        adjustPosition(parentWidget());
        setAttribute(Qt::WA_Moved, false); // placed, as QDialog places it, not moved
    }
    return handled;
}

bool WholeLinesBox::KeepLinesWhole()
{
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label || !isVisible())
        return false;
    const int room = screen()->availableGeometry().width() - (frameGeometry().width() - width());
    QSize size = this->size(); // as QMessageBox sized it, where it did not wrap
    if (label->wordWrap()) {
        label->setWordWrap(false);
        layout()->activate();
        size = layout()->totalMinimumSize();
    }
    if (size.width() > room) {
        // A line wider than the screen is broken to the screen's width, and
        // only that line: the box takes the screen's width rather than the
        // half QMessageBox keeps to, so that the other lines stay whole.
        const int labelRoom = room - (size.width() - label->minimumSizeHint().width());
        label->setText(BrokenToWidth(label->text(), label->fontMetrics(), labelRoom));
        layout()->activate();
        size = layout()->totalMinimumSize();
    }
    // At least as wide as its caption, which the window manager would
    // otherwise cut short. Title bars draw in a face of their own, bold and
    // larger as a rule: a fifth more than the box's face, and room for the
    // frame's icon and three buttons.
    const QFontMetrics metrics = fontMetrics();
    const int caption = metrics.horizontalAdvance(windowTitle()) * 6 / 5 + 10 * metrics.height();
    size.setWidth(std::min(room, std::max(size.width(), caption)));
    if (size == this->size())
        return false;
    setFixedSize(size);
    // Turning wrapping off and on asked for a layout again, which would size
    // the box anew; QMessageBox drops that request after sizing itself too.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    return true;
}

} // namespace wibblet
