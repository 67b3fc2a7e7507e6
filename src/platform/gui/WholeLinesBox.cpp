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
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest)
        KeepLinesWhole();
    return handled;
}

void WholeLinesBox::KeepLinesWhole()
{
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label || !label->wordWrap() || !isVisible())
        return;
    label->setWordWrap(false);
    layout()->activate();
    const QSize whole = layout()->totalMinimumSize();
    if (whole.width() <= screen()->availableGeometry().width()) {
        setFixedSize(whole);
    } else {
        label->setWordWrap(true);
        layout()->activate();
    }
    // Turning wrapping off and on asked for a layout again, which would size
    // the box anew; QMessageBox drops that request after sizing itself too.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}

} // namespace wibblet
