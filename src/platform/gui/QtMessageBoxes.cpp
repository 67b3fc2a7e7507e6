#include "platform/gui/QtMessageBoxes.h"

#include <QMessageBox>

namespace wibblet {

namespace {

QMessageBox::Icon ToQt(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Critical:
        return QMessageBox::Critical;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton escapeButton;
};

ButtonSet ToQt(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::OkCancel:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel};
    case BoxButtons::YesNo:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No};
    case BoxButtons::Ok:
        break;
    }
    return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

BoxAnswer FromQt(QMessageBox::StandardButton clicked, const ButtonSet& set)
{
    // Anything but an offered button (the box closed some other way) counts as
    // the escape answer.
    if (!(set.buttons & clicked))
        clicked = set.escapeButton;
    switch (clicked) {
    case QMessageBox::Cancel:
        return BoxAnswer::Cancel;
    case QMessageBox::Yes:
        return BoxAnswer::Yes;
    case QMessageBox::No:
        return BoxAnswer::No;
    default:
        return BoxAnswer::Ok;
    }
}

} // namespace

BoxAnswer QtMessageBoxes::Show(const BoxRequest& box)
{
    const ButtonSet set = ToQt(box.buttons);

    // Lines come joined with CR LF, which a label would show as stray glyphs.
    QString text = box.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox dialog(ToQt(box.icon), box.Caption(), text, set.buttons);
    // The text may come from the network: never let it be taken for rich text.
    dialog.setTextFormat(Qt::PlainText);
    dialog.setDefaultButton(set.defaultButton);
    dialog.setEscapeButton(set.escapeButton);
    // X11 has no system-wide modality; staying on top of every window is the
    // nearest a box can get to being seen over other programs.
    dialog.setWindowModality(Qt::ApplicationModal);
    if (box.systemModal)
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);

    // exec() runs a nested event loop: sockets and timers keep being served.
    dialog.exec();
    return FromQt(dialog.standardButton(dialog.clickedButton()), set);
}

} // namespace wibblet
