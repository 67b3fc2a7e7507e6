#include "platform/gui/WholeLinesBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QScreen>

namespace wibblet {

bool WholeLinesBox::event(QEvent* event)
{
    // QMessageBox sizes itself, and turns wrapping on, when it is shown and
    // on every layout request: undo that each time, right after it.
    const bool handled = QMessageBox::event(event);
    if (sizing_ || (event->type() != QEvent::Show && event->type() != QEvent::LayoutRequest))
        return handled;
    // QDialog centred the box at the width QMessageBox gave it.
    if (KeepLinesWhole() && event->type() == QEvent::Show && !event->spontaneous()
        && !testAttribute(Qt::WA_Moved)) {
        adjustPosition(parentWidget());
        setAttribute(Qt::WA_Moved, false); // placed, as QDialog places it, not moved
    }
    return handled;
}

bool WholeLinesBox::KeepLinesWhole()
{
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label || !label->wordWrap() || !isVisible())
        return false;
    const int room = screen()->availableGeometry().width() - (frameGeometry().width() - width());
    label->setWordWrap(false);
    layout()->activate();
    QSize size = layout()->totalMinimumSize();
    if (size.width() > room) {
        // A line wider than the screen: QMessageBox wraps the text again, the
        // way it does (breaking a word longer than a line too), and the box
        // takes the screen's width rather than the half QMessageBox keeps to,
        // so that the other lines stay whole where they can.
        sizing_ = true;
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(this, &request);
        sizing_ = false;
        size = QSize(room, layout()->totalHeightForWidth(room));
    }
    setFixedSize(size);
    // Turning wrapping off and on asked for a layout again, which would size
    // the box anew; QMessageBox drops that request after sizing itself too.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    return true;
}

} // namespace wibblet
