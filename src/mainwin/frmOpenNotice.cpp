#include "mainwin/frmOpenNotice.h"

#include "platform/gui/Screen.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace wibblet {

frmOpenNotice::frmOpenNotice(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmOpenNotice"));
    // Nothing reads a notice once it is closed; a hidden one would stay
    // until the program ends.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setFont(QFont(QStringLiteral("MS UI Gothic"), 9));
    setFixedSize(Screen::Px(2550), Screen::Px(1200));

    // QFont takes whole points: 9.75 has always come out as 9.
    const QFont noticeFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
    auto* label = new QLabel(QStringLiteral("開封されました。"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setFont(noticeFont);
    Screen::Place(label, 600, 120, 1380, 195);
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());

    lblDate_ = new QLabel(this);
    lblDate_->setObjectName(QStringLiteral("lblDate"));
    lblDate_->setFont(noticeFont);
    lblDate_->setAlignment(Qt::AlignCenter);
    Screen::Place(lblDate_, 240, 360, 2055, 255);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    Screen::Place(ok, 720, 720, 1095, 375);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    Screen::Centre(this);
}

void frmOpenNotice::SetDate(const QString& text)
{
    lblDate_->setText(text);
}

} // namespace wibblet
