// The delivery watch.
#include "mainwin/frmMain.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

#include <QTimer>

namespace wibblet {

namespace {

constexpr int kSecondsPerDay = 24 * 60 * 60;
constexpr int kPatienceSeconds = 30;

} // namespace

bool frmMain::AnyPending() const
{
    for (int row = 1; row <= members_.Count(); ++row) {
        if (Clock::ParseTime(members_.Text(row, MemberTable::ColSendTime)).isValid())
            return true;
    }
    return false;
}

void frmMain::timTimer_Timer()
{
    const QTime now = env_.clock.Now().time();
    for (int i = 1; i <= members_.Count(); ++i) {
        const QString sentText = members_.Text(i, MemberTable::ColSendTime);
        const QTime sent = Clock::ParseTime(sentText);
        if (!sent.isValid())
            continue;
        const QString host = members_.Text(i, MemberTable::ColHost);
        if (watchNoticeOpen_.contains(host))
            continue;
        // The whole time since sending counts, also across midnight.
        int elapsed = sent.secsTo(now);
        if (elapsed < 0)
            elapsed += kSecondsPerDay;
        if (elapsed <= kPatienceSeconds)
            continue;

        const QString packetNo = members_.Text(i, MemberTable::ColStandard);
        watchNoticeOpen_.insert(host);
        env_.boxes.Show(
            {members_.Text(i, MemberTable::ColUser)
                 + QStringLiteral(" からの応答がありません。\r\n") + Clock::HourMinuteSecond(sent)
                 + QStringLiteral(" に送信したメッセージは、ネットの藻屑と消えた模様です。"),
             QString(), BoxButtons::Ok, BoxIcon::Information});
        watchNoticeOpen_.remove(host);

        // The list may have changed while the notice was open: clear the
        // host's row only if it still waits for this very message.
        const int row = members_.chkMember(host);
        if (row >= 1 && members_.Text(row, MemberTable::ColStandard) == packetNo
            && members_.Text(row, MemberTable::ColSendTime) == sentText) {
            members_.SetText(row, MemberTable::ColStandard, QString());
            members_.SetText(row, MemberTable::ColSendTime, QString());
        }
    }
    if (!AnyPending())
        timTimer_->stop();
}

} // namespace wibblet
