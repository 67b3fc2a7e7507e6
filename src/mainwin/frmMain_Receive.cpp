// Messages and read notices, as the dispatcher hands them over.
#include "mainwin/frmMain.h"

#include "mainwin/frmOpenNotice.h"
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

    // Acknowledged before anything else, in both code sets; the socket's
    // remote endpoint is the sender of this datagram.
    if (answerable) {
        SendPkt(program_, MakePkt(program_, ReqReceipt) + packetNo + kNul);
        SendPkt(program_, MakePktIpm(program_, ReqReceipt) + packetNo + kNul);
    }

    if (answerable && members_.chkMember(d.senderHost) < 0) {
        members_.Add(d.senderHost);
        AddMember(program_, members_, d.senderHost);
        AddBrdList(program_.settings, program_.ownBroadcast, d.senderAddress);
    }

    const MessageBody body = ReadBody(d, program_.settings.DEF_TITLE, program_.settings.DEF_OK);

    const qint32 slot = popups_.NewSlot();
    auto* window = new frmPopupCl(program_.settings.ERR_EXE, env_.boxes, this);
    popups_.Put(slot, window);
    window->cRipadd = d.senderAddress;
    window->cRpackno = packetNo;
    window->PopClID = slot;
    window->mnuRes()->setText(d.senderHost + QStringLiteral(" へ返信"));
    window->mnuRes()->setEnabled(answerable);
    ConnectPopup(window);

    if (absent_)
        popups_.Hold(slot);

    if (sealed && Settings::IsOn(program_.settings.SECRET_OK)) {
        window->cmdSecret()->show();
        window->cmdOK()->hide();
    } else {
        window->cmdSecret()->hide();
        window->cmdOK()->show();
        if (sealed && answerable)
            SendPkt(program_, MakePkt(program_, ReqReadNotice) + packetNo + kNul);
    }

    if (absent_) {
        flasher_.SetNonPopMsg(true);
    } else {
        window->show();
        Screen::SetTopMost(window);
    }
    window->set_Form(body.text, body.title, body.ok, body.icon);
}

void frmMain::ReadNotice(const Datagram& d)
{
    const qint32 number = ReadNumber(d.extra);
    const int row = members_.chkPacNo(number, MemberTable::ColSealed);
    if (row < 1)
        return;
    members_.SetText(row, MemberTable::ColSealed, QString());

    NumOpN_ = Increment(NumOpN_);
    if (OpnNtc_.size() <= NumOpN_)
        OpnNtc_.resize(NumOpN_ + 1);
    auto* notice = new frmOpenNotice(this);
    OpnNtc_[NumOpN_] = notice;
    notice->show();
    notice->setWindowTitle(members_.Text(row, MemberTable::ColUser));
    const QDateTime now = env_.clock.Now();
    notice->SetDate(QLatin1Char('(') + Clock::MonthDay(now.date()) + QLatin1Char(' ')
                    + Clock::HourMinute(now.time()) + QLatin1Char(')'));
    Screen::SetTopMost(notice);
}

} // namespace wibblet
