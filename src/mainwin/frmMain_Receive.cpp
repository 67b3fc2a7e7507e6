// Messages and read notices, as the dispatcher hands them over.
#include "mainwin/frmMain.h"

#include "mainwin/frmOpenNotice.h"
#include "msgwin/MakeReTitle.h"
#include "msgwin/frmPopup.h"
#include "msgwin/frmPopupCl.h"
#include "platform/Clock.h"
#include "platform/gui/Screen.h"
#include "protocol/Answerable.h"
#include "protocol/CommandCodes.h"
#include "protocol/Datagram.h"
#include "protocol/MessageBody.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace wibblet {

namespace {

const QString kNul(1, QChar(u'\0'));

qint32 Increment(qint32 value)
{
    if (value == INT32_MAX)
        throw Failure(Failure::Overflow);
    return value + 1;
}

} // namespace

void frmMain::Message(const Datagram& d, bool sealed)
{
    const QString packetNo = d.Range(d.c[1] + 1, d.c[2] - 1);

    // A sender whose address reaches a whole subnet still has its message
    // shown, but gets no receipt, read notice, row or reply: each would go
    // to every host there.
    const bool answerable = IsAnswerable(program_, d.senderAddress);

    // Read before anything goes back: a receipt promises that the message
    // will be seen, so a body that cannot be shown gets none.
    const MessageBody body = ReadBody(d, program_.settings.DEF_TITLE, program_.settings.DEF_OK);

    // Acknowledged in both code sets; the socket's remote endpoint is the
    // sender of this datagram. Once the first has gone, the message is
    // shown whatever fails after it.
    if (answerable) {
        SendPkt(program_, MakePkt(program_, ReqReceipt) + packetNo + kNul);
        SendAfterReceipt(MakePktIpm(program_, ReqReceipt) + packetNo + kNul);
        // Offered files cannot be received here: their sender may let them
        // go now rather than hold them for us.
        if (d.filesOffered)
            SendAfterReceipt(MakePktIpm(program_, ReqReleaseFiles) + packetNo + kNul);
    }

    if (answerable && members_.chkMember(d.senderHost) < 0) {
        AddNewMember(program_, members_, d.senderHost);
        AddBrdList(program_.settings, program_.ownBroadcast, d.senderAddress);
    }

    // A retransmission is acknowledged again (its sender did not hear the
    // first receipt) but was shown, or held, the first time.
    const bool covered = sealed && Settings::IsOn(program_.settings.SECRET_OK);
    if (!d.repeated)
        popups_.Accept({body.text, body.title, body.ok, body.icon, d.senderAddress, d.senderHost,
                        packetNo, covered, answerable});

    // Sealed messages are not honoured: reported read at once.
    if (sealed && !covered && answerable)
        SendAfterReceipt(MakePkt(program_, ReqReadNotice) + packetNo + kNul);
}

frmPopupCl* frmMain::BuildPopup(const ReceivedMessage& message)
{
    auto* window = new frmPopupCl(program_.settings.ERR_EXE, env_.boxes, this);
    window->cRipadd = message.senderAddress;
    window->cRpackno = message.packetNo;
    window->mnuRes()->setText(message.senderHost + QStringLiteral(" へ返信"));
    window->mnuRes()->setEnabled(message.answerable);
    window->cmdSecret()->setVisible(message.covered);
    window->cmdOK()->setVisible(!message.covered);
    window->set_Form(message.text, message.title, message.ok, message.icon);

    connect(window, &frmPopupCl::SecretOpened, this, [this, window] {
        // The read notice goes to the message's sender, unless that address
        // reaches a whole subnet.
        if (!IsAnswerable(program_, window->cRipadd))
            return;
        SetRemote(program_, window->cRipadd);
        SendAfterReceipt(MakePkt(program_, ReqReadNotice) + window->cRpackno + kNul);
    });
    connect(window, &frmPopupCl::ReplyRequested, this, [this, window, host = message.senderHost] {
        // The reply item is disabled for such a sender; a reply never goes there.
        if (!IsAnswerable(program_, window->cRipadd))
            return;
        frmPopup* compose = ShowCompose();
        compose->SetDestination(window->cRipadd, host);
        SetRemote(program_, window->cRipadd);
        compose->txtTitle()->setText(MakeReTitle(window->Title()));
    });
    return window;
}

void frmMain::SendAfterReceipt(const QString& datagram)
{
    try {
        SendPkt(program_, datagram);
    } catch (const Failure&) {
    }
}

void frmMain::ReadNotice(const Datagram& d)
{
    const qint32 number = ReadNumber(d.extra);
    // Our packet numbers start at 1: a notice for 0 (an empty column reads
    // as 0) names nothing we sent.
    if (number < 1)
        return;
    const int row = members_.chkPacNo(number, MemberTable::ColSealed);
    if (row < 1)
        return;
    members_.SetText(row, MemberTable::ColSealed, QString());

    NumOpN_ = Increment(NumOpN_);
    if (OpnNtc_.size() <= NumOpN_)
        OpnNtc_.resize(NumOpN_ + 1);
    auto* notice = new frmOpenNotice(this);
    OpnNtc_[NumOpN_] = notice;
    // On top from its first showing: setting the hint later would build the
    // native window a second time.
    Screen::SetTopMost(notice);
    notice->show();
    notice->raise();
    Screen::SetTitle(notice, members_.Text(row, MemberTable::ColUser));
    const QDateTime now = env_.clock.Now();
    notice->SetDate(QLatin1Char('(') + Clock::MonthDay(now.date()) + QLatin1Char(' ')
                    + Clock::HourMinute(now.time()) + QLatin1Char(')'));
}

} // namespace wibblet
