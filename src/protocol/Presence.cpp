#include "protocol/Presence.h"

#include "platform/UdpSocket.h"
#include "protocol/Answerable.h"
#include "protocol/CommandCodes.h"
#include "protocol/Packet.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"

namespace wibblet {

namespace {

const QString kNul(1, QChar(u'\0'));
const QString kFourNuls(4, QChar(u'\0'));

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
