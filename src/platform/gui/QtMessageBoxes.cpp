#include "platform/gui/QtMessageBoxes.h"

#include "platform/gui/FormLayout.h"
#include "platform/gui/WholeLinesBox.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <memory>

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

// The buttons speak Japanese like the rest of the program, whatever the
// locale: Qt's own texts are English unless a translation is loaded. Yes and
// No keep the keys Y and N that Qt's "&Yes" and "&No" gave them.
void SetButtonTexts(QMessageBox* dialog)
{
    struct ButtonText {
        QMessageBox::StandardButton button;
        const char16_t* text;
        QKeySequence key;
    };
    const ButtonText texts[] = {
        {QMessageBox::Ok, u"OK", {}},
        {QMessageBox::Cancel, u"キャンセル", {}},
        {QMessageBox::Yes, u"はい", QKeySequence(Qt::ALT | Qt::Key_Y)},
        {QMessageBox::No, u"いいえ", QKeySequence(Qt::ALT | Qt::Key_N)},
    };
    for (const ButtonText& t : texts) {
        if (QAbstractButton* button = dialog->button(t.button)) {
            button->setText(QString::fromUtf16(t.text));
            button->setShortcut(t.key); // after the text, which sets its own
        }
    }
}

// Show's and Notify's box: caption, text, icon, buttons and modality.
QMessageBox* NewBox(const BoxRequest& box, const ButtonSet& set, Qt::WindowModality modality)
{
    // Lines come joined with CR LF, which a label would show as stray glyphs.
    QString text = box.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* dialog = new WholeLinesBox(ToQt(box.icon), box.Caption(), text, set.buttons);
    SetButtonTexts(dialog);
    // The windows' own face: the desktop's default one may be a fixed-pitch
    // Japanese face (it is under a Japanese locale) or lack Japanese.
    dialog->setFont(FormLayout::FormFont());
    // The text may come from the network: never let it be taken for rich text.
    dialog->setTextFormat(Qt::PlainText);
    dialog->setDefaultButton(set.defaultButton);
    dialog->setEscapeButton(set.escapeButton);
    dialog->setWindowModality(modality);
    // X11 has no system-wide modality; staying on top of every window is the
    // nearest a box can get to being seen over other programs. Set after the
    // modality, which clears this flag.
    if (box.systemModal)
        dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return dialog;
}

} // namespace

BoxAnswer QtMessageBoxes::Show(const BoxRequest& box)
{
    const ButtonSet set = ToQt(box.buttons);
    const std::unique_ptr<QMessageBox> dialog(NewBox(box, set, Qt::ApplicationModal));

    // exec() runs a nested event loop: sockets and timers keep being served.
    dialog->exec();
    return FromQt(dialog->standardButton(dialog->clickedButton()), set);
}

void QtMessageBoxes::Notify(const BoxRequest& box, std::function<void()> closed)
{
    // Modality would block input to every other window of the program.
    QMessageBox* dialog = NewBox(box, ToQt(BoxButtons::Ok), Qt::NonModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [closed = std::move(closed)] {
        if (closed)
            closed();
    });
    // Nothing owns a box left open: it goes when the event loop ends, while
    // the application that drew it is still there.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, dialog,
                     &QObject::deleteLater);
    dialog->show();
}

} // namespace wibblet
