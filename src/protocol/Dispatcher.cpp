#include "protocol/Dispatcher.h"

#include "platform/MessageBoxes.h"
#include "platform/UdpSocket.h"
#include "protocol/CommandCodes.h"
#include "protocol/Datagram.h"
#include "protocol/MemberTable.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Program.h"
#include "settings/SockErrText.h"

#include <initializer_list>

namespace wibblet {

namespace {

bool IsOneOf(qint32 command, std::initializer_list<const char*> codes)
{
    for (const char* code : codes) {
        if (command == mdlConst::Number(code))
            return true;
    }
    return false;
}

const QString kFourNuls(4, QChar(u'\0'));

} // namespace

Dispatcher::Dispatcher(Program& program, MemberTable& members, QObject* parent)
    : QObject(parent), program_(program), members_(members)
{
    connect(&program_.socket, &UdpSocket::DataArrival, this, &Dispatcher::wscCtrl_DataArrival);
}

void Dispatcher::wscCtrl_DataArrival()
{
    try {
        const Datagram d = Datagram::Parse(program_.socket.GetData(), program_.socket.RemoteHostIP());
        program_.senderAddress = d.senderAddress;
        program_.senderName = d.senderName;
        Dispatch(d);
    } catch (const Failure& failure) {
        ShowErrorBox(failure.Number());
    }
}

void Dispatcher::Dispatch(const Datagram& d)
{
    using namespace mdlConst;
    const qint32 command = d.command;
    if (IsOneOf(command, {BR_ENTRY, IPM_BR_ENTRY})) {
        Entry(d);
    } else if (IsOneOf(command, {BR_EXIT, IPM_BR_EXIT})) {
        const int r = members_.chkMember(d.senderHost);
        if (r >= 1)
            members_.Remove(r);
    } else if (IsOneOf(command, {ANSENTRY, IPM_ANSENTRY})) {
        if (members_.chkMember(d.senderHost) < 0)
            NewMember(d, true);
    } else if (IsOneOf(command, {BR_ABSENCE, IPM_BR_ABSENCE})) {
        SetPresence(d, QStringLiteral("×"));
    } else if (IsOneOf(command, {BR_PRESENT, IPM_BR_PRESENT})) {
        SetPresence(d, QString());
    } else if (IsOneOf(command, {READMSG, IPM_READMSG})) {
        if (handler_)
            handler_->ReadNotice(d);
    } else if (IsOneOf(command, {RECVMSG})) {
        Receipt(d);
    } else if (command == program_.messageCode.toInt()
               || IsOneOf(command, {SECRETMSG, IPM_SECRETMSG_PASSWORD, IPM_SECRETMSG,
                                    IPM_SECRETMSG_PASSWORD_READCHECK, IPM_SECRETMSG_NOCHECK})) {
        if (handler_)
            handler_->Message(d);
    }
}

void Dispatcher::Entry(const Datagram& d)
{
    if (members_.chkMember(d.senderHost) < 0)
        NewMember(d, true);
    SendAnsEntry(program_, d.senderAddress);
    if (absent_ && absent_()) {
        SetRemote(program_, d.senderAddress);
        SendPkt(program_, MakePkt(program_, ReqAbsent) + kFourNuls);
        SetRemote(program_, d.senderAddress);
        SendPkt(program_, MakePktIpm(program_, ReqAbsent) + kFourNuls);
    }
}

void Dispatcher::NewMember(const Datagram& d, bool takeNickname)
{
    members_.Add(d.senderHost);
    if (takeNickname) {
        const QString nickname = CutAtNul(d.extra);
        if (!nickname.isEmpty())
            program_.senderName = nickname;
    }
    AddMember(program_, members_, d.senderHost);
    AddBrdList(program_, d.senderAddress);
}

void Dispatcher::SetPresence(const Datagram& d, const QString& mark)
{
    const int r = members_.chkMember(d.senderHost);
    if (r >= 1)
        members_.SetText(r, MemberTable::ColPresence, mark);
}

void Dispatcher::Receipt(const Datagram& d)
{
    const qint32 number = ReadNumber(d.extra);
    const int r = members_.chkPacNo(number, MemberTable::ColStandard);
    if (r < 1)
        return;
    members_.SetText(r, MemberTable::ColStandard, QString());
    members_.SetText(r, MemberTable::ColSendTime, QString());
}

void Dispatcher::ShowErrorBox(int number)
{
    // One box at a time: under a flood of bad datagrams, nested boxes would
    // pile up without bound. Datagrams are still handled while it is open;
    // a further failure only drops its datagram.
    if (errorBoxOpen_)
        return;
    errorBoxOpen_ = true;
    program_.boxes.Show({QStringLiteral("メッセージ送受信時に、謎の通信エラーが発生しました。\r\n\r\n")
                             + SockErrText(QString::number(number))
                             + QStringLiteral("\r\n\r\n"
                                              "通信相手に問題が発生したか、受信不可能なメッセージが送信された可能性があります。\r\n"
                                              "送受信メッセージは、ネットの藻屑と消えました。"),
                         QStringLiteral("送受信できませんでした。(^-^;"), BoxButtons::Ok, BoxIcon::None});
    errorBoxOpen_ = false;
}

} // namespace wibblet
