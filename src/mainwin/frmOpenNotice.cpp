#include "mainwin/frmOpenNotice.h"

#include "platform/gui/FormLayout.h"
#include "platform/gui/Screen.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace wibblet {

frmOpenNotice::frmOpenNotice(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmOpenNotice"));
    // Nothing reads a notice once it is closed; a hidden one would stay
    // until the program ends.
    setAttribute(Qt::WA_DeleteOnClose);
    // Comes up without taking the keyboard from the window the user types in.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setFont(FormLayout::FormFont());
    setFixedSize(Screen::Px(2550), Screen::Px(1200));

    const QFont noticeFont = FormLayout::PGothicFont();
    // The caption is widened once it has its font: its width follows the font.
    QLabel* label = FormLayout::AddLabel(this, "Label1", QStringLiteral("開封されました。"), 600,
                                         120, 1380, 195);
    label->setFont(noticeFont);
    FormLayout::WidenToCaption(label);

    lblDate_ = FormLayout::AddLabel(this, "lblDate", 240, 360, 2055, 255);
    lblDate_->setFont(noticeFont);
    lblDate_->setAlignment(Qt::AlignCenter);

    auto* ok = FormLayout::AddButton(this, "cmdOK", QStringLiteral("OK"), 720, 720, 1095, 375);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    Screen::Centre(this);
}

void frmOpenNotice::SetDate(const QString& text)
{
    lblDate_->setText(text);
}

} // namespace wibblet
