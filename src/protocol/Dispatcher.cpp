#include "protocol/Dispatcher.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/UdpSocket.h"
#include "protocol/Answerable.h"
#include "protocol/CommandCodes.h"
#include "protocol/Datagram.h"
#include "protocol/FieldLimits.h"
#include "protocol/MemberTable.h"
#include "protocol/OfferedFiles.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"
#include "settings/SockErrText.h"

#include <QPointer>

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

// After the error box closes, further failures show none for this long. One
// bad datagram every half second would otherwise bring it back the moment
// the user closed it, and each box takes the focus from what they were doing.
constexpr qint64 kErrorBoxQuietSeconds = 60;

} // namespace

Dispatcher::Dispatcher(Program& program, MemberTable& members, QObject* parent)
    : QObject(parent),
      program_(program),
      members_(members)
{
    connect(&program_.socket, &UdpSocket::DataArrival, this, &Dispatcher::wscCtrl_DataArrival);
}

void Dispatcher::wscCtrl_DataArrival()
{
    try {
        const Datagram d = Datagram::Parse(DecodeArrival(), program_.socket.RemoteHostIP());
        program_.senderAddress = d.senderAddress;
        program_.senderName = d.senderName;
        Dispatch(d);
    } catch (const Failure& failure) {
        ShowErrorBox(failure.Number());
    }
}

QString Dispatcher::DecodeArrival()
{
    return program_.peerEncodings.Decode(program_.socket.GetBytes(), program_.socket.RemoteHostIP(),
                                         Settings::IsOn(program_.settings.IP_MSG));
}

Dispatcher::Kind Dispatcher::Classify(qint32 command, qint32 messageCode, bool emulation)
{
    using namespace mdlConst;
    if (IsOneOf(command, {BR_ENTRY, IPM_BR_ENTRY}))
        return Kind::Entry;
    if (IsOneOf(command, {BR_EXIT, IPM_BR_EXIT}))
        return Kind::Exit;
    if (IsOneOf(command, {ANSENTRY, IPM_ANSENTRY}))
        return Kind::Answer;
    if (IsOneOf(command, {BR_ABSENCE, IPM_BR_ABSENCE}))
        return Kind::Absent;
    if (IsOneOf(command, {BR_PRESENT, IPM_BR_PRESENT}))
        return Kind::Present;
    if (IsOneOf(command, {READMSG, IPM_READMSG}))
        return Kind::ReadNotice;
    if (IsOneOf(command, {RECVMSG}))
        return Kind::Receipt;
    if (IsOneOf(command, {SECRETMSG, IPM_SECRETMSG_PASSWORD, IPM_SECRETMSG,
                          IPM_SECRETMSG_PASSWORD_READCHECK}))
        return Kind::SealedMessage;
    if (command == messageCode || IsOneOf(command, {IPM_SECRETMSG_NOCHECK}))
        return Kind::Message;
    if (!emulation)
        return Kind::Ignored;

    // IP Messenger and its kin set option and capability flags above the
    // command itself (entries with 0x100, exits with 0x10000, …).
    switch (command & 0xFF) {
    case 0x01:
        return Kind::Entry;
    case 0x02:
        return Kind::Exit;
    case 0x03:
        return Kind::Answer;
    case 0x04:
        return (command & 0x100) ? Kind::Absent : Kind::Present;
    case 0x20:
        return (command & 0x300) == 0x300 ? Kind::SealedMessage : Kind::Message;
    case 0x21:
        return Kind::Receipt;
    case 0x30:
        return Kind::ReadNotice;
    case 0x72:
        return Kind::GetPubKey;
    default:
        return Kind::Ignored;
    }
}

void Dispatcher::Dispatch(const Datagram& d)
{
    const bool emulation = Settings::IsOn(program_.settings.IP_MSG);
    const Kind kind = Classify(d.command, program_.messageCode.toInt(), emulation);
    if (kind != Kind::Entry && kind != Kind::Ignored)
        verified_.Add(d.senderAddress);
    // Before any answer goes back: it goes in UTF-8 to a peer that reads it.
    if (kind == Kind::Entry || kind == Kind::Answer || kind == Kind::Absent
        || kind == Kind::Present)
        program_.peerEncodings.NoteCapability(d.senderAddress, d.command);
    // A source that reaches a whole subnet is neither answered nor listed:
    // a row there would send the user's own messages to every host of it.
    const bool answerable = IsAnswerable(program_, d.senderAddress);
    switch (kind) {
    case Kind::Entry:
        if (answerable)
            Entry(d, emulation);
        break;
    case Kind::Exit:
        if (const int r = members_.chkMember(d.senderHost); r >= 1)
            members_.Remove(r);
        program_.peerEncodings.Forget(d.senderAddress);
        break;
    case Kind::Answer:
        if (answerable)
            Answer(d, emulation);
        break;
    case Kind::Absent:
    case Kind::Present:
        SetPresence(d, kind == Kind::Absent, emulation);
        break;
    case Kind::ReadNotice:
        if (handler_)
            handler_->ReadNotice(d);
        break;
    case Kind::Receipt:
        Receipt(d);
        break;
    case Kind::Message:
    case Kind::SealedMessage:
        // The packet-number field comes back in receipts and read notices:
        // a long one would have us send it again and again.
        if (const QString number = d.Range(d.c[1] + 1, d.c[2] - 1);
            CutToBytes(number, kMaxPacketNoBytes).size() < number.size())
            throw Failure(Failure::InvalidArgument);
        if (handler_) {
            Datagram message = d;
            message.repeated =
                recent_.Repeats(program_.socket.GetBytes(), d.senderAddress,
                                program_.socket.RemoteHostPort(), program_.clock.Now());
            // The own mode compares command numbers exactly: it never sees the option.
            message.filesOffered = emulation && (d.command & kFileAttachOption);
            handler_->Message(message, kind == Kind::SealedMessage);
        }
        break;
    case Kind::GetPubKey:
        if (answerable)
            AnswerPubKey(d);
        break;
    case Kind::Ignored:
        break;
    }
}

void Dispatcher::AnswerPubKey(const Datagram& d)
{
    // "No cipher in common": the asking client then sends its message in
    // plain text instead of waiting for a key for ever.
    SetRemote(program_, d.senderAddress);
    SendPkt(program_, MakePktIpm(program_, ReqAnsPubKey) + QStringLiteral("0:0-0") + QChar(u'\0'));
}

void Dispatcher::Entry(const Datagram& d, bool emulation)
{
    if (members_.chkMember(d.senderHost) < 0)
        NewMember(d, true);
    if (emulation)
        Announced(d);
    // Answers wait behind receipts and messages; those to a source that has
    // never sent more than entries are also rate-limited by the socket.
    const SendPriority priority =
        verified_.Contains(d.senderAddress) ? SendPriority::Answer : SendPriority::AnswerToStranger;
    SendAnsEntry(program_, d.senderAddress, priority);
    if (absent_ && absent_()) {
        SetRemote(program_, d.senderAddress);
        SendPkt(program_, MakePkt(program_, ReqAbsent) + NicknameExtra(program_, kFourNuls),
                priority);
        SetRemote(program_, d.senderAddress);
        SendPkt(program_, MakePktIpm(program_, ReqAbsent) + NicknameExtra(program_, kFourNuls),
                priority);
    }
}

void Dispatcher::NewMember(const Datagram& d, bool takeNickname)
{
    if (takeNickname)
        program_.senderName = Nickname(d);
    AddNewMember(program_, members_, d.senderHost);
    AddBrdList(program_.settings, program_.ownBroadcast, d.senderAddress);
}

void Dispatcher::Receipt(const Datagram& d)
{
    const qint32 number = ReadNumber(d.extra);
    // Our packet numbers start at 1: a receipt for 0 (an empty column reads
    // as 0) names nothing we sent.
    if (number < 1)
        return;
    const int r = members_.chkPacNo(number, MemberTable::ColStandard);
    if (r < 1)
        return;
    members_.SetText(r, MemberTable::ColStandard, QString());
    members_.SetText(r, MemberTable::ColSendTime, QString());
}

void Dispatcher::ShowErrorBox(int number)
{
    // One box at a time: under a flood of bad datagrams, boxes would pile up
    // without bound. Datagrams are still handled while it is open; a further
    // failure only drops its datagram, as it does in the quiet time after.
    if (errorBoxOpen_)
        return;
    if (errorBoxClosedAt_.isValid()) {
        // A clock set back gives a negative time: not quiet, or one set back
        // an hour would keep the box away for that hour.
        const qint64 since = errorBoxClosedAt_.secsTo(program_.clock.Now());
        if (since >= 0 && since < kErrorBoxQuietSeconds)
            return;
    }
    errorBoxOpen_ = true;
    // The box blocks no window (a modal one under a steady trickle of bad
    // datagrams kept the user out of every window), so this returns at once.
    // The dispatcher may be gone by the time the user closes it.
    const QPointer<Dispatcher> self(this);
    program_.boxes.Notify(
        {QStringLiteral("メッセージ送受信時に、謎の通信エラーが発生しました。\r\n\r\n")
             + SockErrText(QString::number(number))
             + QStringLiteral("\r\n\r\n"
                              "通信相手に問題が発生したか、受信不可能なメッセージが送信された可能性"
                              "があります。\r\n"
                              "送受信メッセージは、ネットの藻屑と消えました。"),
         QStringLiteral("送受信できませんでした。(^-^;"), BoxButtons::Ok, BoxIcon::None},
        [self] {
            if (!self)
                return;
            self->errorBoxOpen_ = false;
            self->errorBoxClosedAt_ = self->program_.clock.Now();
        });
}

} // namespace wibblet
