#include "mainwin/TrayFlasher.h"

#include "platform/gui/TrayIcon.h"
#include "protocol/MemberTable.h"

#include <QTimer>

namespace wibblet {

TrayFlasher::TrayFlasher(TrayIcon& tray, const MemberTable& members, QObject* parent)
    : QObject(parent),
      tray_(tray),
      members_(members),
      timTimer2_(new QTimer(this))
{
    timTimer2_->setObjectName(QStringLiteral("timTimer2"));
    timTimer2_->setInterval(300);
    connect(timTimer2_, &QTimer::timeout, this, &TrayFlasher::timTimer2_Timer);
    connect(&members_, &MemberTable::CountChanged, this, [this] { StartTrayTick(); });
}

QString TrayFlasher::PlainTip() const
{
    return QStringLiteral("Wibblet(") + QString::number(members_.Count()) + QLatin1Char(')');
}

void TrayFlasher::UpdIcon()
{
    tray_.Modify(TrayPicture::Main, PlainTip());
}

void TrayFlasher::FlashIcon(qint32 which)
{
    TrayPicture picture = tray_.Picture();
    if (which == 0)
        picture = TrayPicture::Letter;
    else if (which == 1)
        picture = TrayPicture::Main;
    tray_.Modify(picture, PlainTip() + QStringLiteral("\r\nメッセージあり"));
}

void TrayFlasher::SetNonPopMsg(bool waiting)
{
    NonPopMsg_ = waiting;
    StartTrayTick();
}

void TrayFlasher::StartTrayTick()
{
    if (!timTimer2_->isActive())
        timTimer2_->start();
}

void TrayFlasher::timTimer2_Timer()
{
    if (!NonPopMsg_) {
        // The plain tip is back and matches the list: nothing more to show
        // until the count changes or a message is held again.
        UpdIcon();
        timTimer2_->stop();
        return;
    }
    // Main icon for two ticks, letter for one; the phase carries over to the
    // next waiting period.
    if (FlashCnt_ == 0 || FlashCnt_ == 1) {
        FlashIcon(1);
        ++FlashCnt_;
    } else {
        FlashIcon(0);
        FlashCnt_ = 0;
    }
}

} // namespace wibblet
