#include "protocol/Presence.h"

#include "platform/UdpSocket.h"
#include "protocol/Answerable.h"
#include "protocol/CommandCodes.h"
#include "protocol/Packet.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"

#include <algorithm>

namespace wibblet {

namespace {

const QString kNul(1, QChar(u'\0'));
const QString kFourNuls(4, QChar(u'\0'));

// Our header with the UTF-8 flag on its command, the field after the
// fourth colon (the names before it have theirs full-width). A datagram
// without a command number goes as it is.
QString WithUtf8Option(const QString& datagram)
{
    qsizetype start = 0;
    for (int colon = 0; colon < 4; ++colon) {
        const qsizetype at = datagram.indexOf(QLatin1Char(':'), start);
        if (at < 0)
            return datagram;
        start = at + 1;
    }
    const qsizetype end = datagram.indexOf(QLatin1Char(':'), start);
    const qint32 command = end < 0 ? -1 : ReadNumberOr(datagram.mid(start, end - start), -1);
    if (command < 0)
        return datagram;
    return datagram.left(start) + QString::number(command | kUtf8Option) + datagram.mid(end);
}

// Sends to the remote endpoint in encoding, the command carrying the UTF-8
// flag when that is UTF-8.
int SendIn(Program& program, const QString& datagram, TextEncoding encoding, SendPriority priority)
{
    const QString text = encoding == TextEncoding::Utf8 ? WithUtf8Option(datagram) : datagram;
    return program.socket.SendData(text, priority, encoding);
}

// A broadcast reaches every kind of peer. ASCII, the same in both, goes as
// ever. In emulation mode one with more (a user name) goes in UTF-8 with the
// flag: iptux takes code page 932 for GB18030 and then writes GB18030 to us
// for good, while UTF-8 with the flag is read right by IP Messenger, by
// Wibblet and by iptux in either of its settings.
TextEncoding BroadcastEncoding(const Program& program, const QString& datagram)
{
    const bool ascii =
        std::all_of(datagram.cbegin(), datagram.cend(), [](QChar c) { return c.unicode() < 0x80; });
    return Settings::IsOn(program.settings.IP_MSG) && !ascii ? TextEncoding::Utf8
                                                             : TextEncoding::Cp932;
}

void Broadcast(Program& program, const QString& datagram)
{
    QStringList targets{program.ownBroadcast};
    // Only addresses: a host name in the list would be looked up, and a name
    // server that does not answer would hold up start-up and exit for many
    // seconds per name.
    for (const QString& entry : ReadBrdList(program.settings)) {
        if (IsDottedAddress(entry))
            targets.append(entry);
    }
    targets.append(program.ownBroadcast);

    // One bad address (a name that does not resolve, an unreachable subnet)
    // must not keep the others from hearing us, nor stop start-up or exit.
    const TextEncoding encoding = BroadcastEncoding(program, datagram);
    for (const QString& target : targets) {
        SetRemote(program, target);
        SendIn(program, datagram, encoding, SendPriority::Normal);
    }
}

} // namespace

void SetRemote(Program& program, const QString& host)
{
    program.socket.SetRemoteHost(host);
    program.socket.SetRemotePort(program.port);
}

TextEncoding EncodingFor(const Program& program, const QString& host)
{
    return Settings::IsOn(program.settings.IP_MSG) && program.peerEncodings.TakesUtf8(host)
               ? TextEncoding::Utf8
               : TextEncoding::Cp932;
}

void SendPkt(Program& program, const QString& datagram, SendPriority priority)
{
    const TextEncoding encoding = EncodingFor(program, program.socket.RemoteHost());
    if (const int error = SendIn(program, datagram, encoding, priority))
        throw Failure(error);
}

void SendEntry(Program& program)
{
    Broadcast(program, MakePkt(program, ReqEntry) + NicknameExtra(program, kFourNuls));
}

void SendExit(Program& program)
{
    Broadcast(program, MakePkt(program, ReqExit) + kNul);
}

void SendAbsence(Program& program, qint32 code)
{
    Broadcast(program, MakePkt(program, code) + NicknameExtra(program, kFourNuls));
}

void SendAnsEntry(Program& program, const QString& host, SendPriority priority)
{
    if (host.isEmpty())
        return;
    SetRemote(program, host);
    SendPkt(program, MakePkt(program, ReqAnswer) + NicknameExtra(program, kNul), priority);
    SetRemote(program, host);
    SendPkt(program, MakePktIpm(program, ReqAnswer) + NicknameExtra(program, kNul), priority);
}

} // namespace wibblet
