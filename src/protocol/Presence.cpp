#include "protocol/Presence.h"

#include "platform/UdpSocket.h"
#include "protocol/CommandCodes.h"
#include "protocol/Packet.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"

namespace wibblet {

namespace {

const QString kNul(1, QChar(u'\0'));
const QString kFourNuls(4, QChar(u'\0'));

// Four groups of one to three digits, each below 256 and without a leading
// zero: an address the socket takes as it is. Anything else in the list (a
// host name, above all) would be looked up, and a name server that does not
// answer would hold up start-up and exit for many seconds per name.
bool IsDottedAddress(const QString& text)
{
    const QStringList groups = text.split(QLatin1Char('.'));
    if (groups.size() != 4)
        return false;
    for (const QString& group : groups) {
        if (group.isEmpty() || group.size() > 3 || (group.size() > 1 && group[0] == u'0'))
            return false;
        for (const QChar c : group) {
            if (c < u'0' || c > u'9')
                return false;
        }
        if (group.toInt() > 255)
            return false;
    }
    return true;
}

void Broadcast(Program& program, const QString& datagram)
{
    QStringList targets{program.ownBroadcast};
    for (const QString& entry : ReadBrdList(program.settings)) {
        if (IsDottedAddress(entry))
            targets.append(entry);
    }
    targets.append(program.ownBroadcast);

    // One bad address (a name that does not resolve, an unreachable subnet)
    // must not keep the others from hearing us, nor stop start-up or exit.
    for (const QString& target : targets) {
        SetRemote(program, target);
        program.socket.SendData(datagram);
    }
}

} // namespace

void SetRemote(Program& program, const QString& host)
{
    program.socket.SetRemoteHost(host);
    program.socket.SetRemotePort(program.port);
}

void SendPkt(Program& program, const QString& datagram, SendPriority priority)
{
    if (const int error = program.socket.SendData(datagram, priority))
        throw Failure(error);
}

void SendEntry(Program& program)
{
    Broadcast(program, MakePkt(program, ReqEntry) + kFourNuls);
}

void SendExit(Program& program)
{
    Broadcast(program, MakePkt(program, ReqExit) + kNul);
}

void SendAbsence(Program& program, qint32 code)
{
    Broadcast(program, MakePkt(program, code) + kFourNuls);
}

void SendAnsEntry(Program& program, const QString& host, SendPriority priority)
{
    if (host.isEmpty())
        return;
    SetRemote(program, host);
    SendPkt(program, MakePkt(program, ReqAnswer) + kNul, priority);
    SetRemote(program, host);
    SendPkt(program, MakePktIpm(program, ReqAnswer) + kNul, priority);
}

} // namespace wibblet
