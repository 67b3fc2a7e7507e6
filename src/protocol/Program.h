#pragma once

#include "protocol/PeerEncodings.h"
#include "settings/Settings.h"

#include <QString>

namespace wibblet {

class UdpSocket;
class MessageBoxes;
class Clock;

/// Everything one running program shares between its modules: the settings
/// record, the packet-number counter, the port and message code, the own
/// broadcast address, the sender of the datagram being handled, what it knows
/// of its peers' encodings, and the platform services it talks through. One object per program, so
/// that tests can run several programs in one process on a virtual LAN.
class Program {
public:
    Program(UdpSocket& socket, MessageBoxes& boxes, Clock& clock)
        : socket(socket),
          boxes(boxes),
          clock(clock)
    {
    }

    UdpSocket& socket;
    MessageBoxes& boxes;
    Clock& clock;

    Settings settings;

    qint32 packetNo = 0;  ///< number of the header built last
    quint16 port = 0;     ///< bound locally and the destination of every datagram
    QString messageCode;  ///< command of an ordinary message in this mode
    QString ownBroadcast; ///< the own subnet's broadcast address

    /// The user-name field's current text; packets carry it.
    QString userNameText;
    /// The host-name field's current text; the sender note of a message carries it.
    QString hostNameText;

    /// The datagram being handled: its user-name field and source address.
    QString senderName;
    QString senderAddress;

    /// Which peers write or read UTF-8, by address: what the dispatcher
    /// learns as it reads their datagrams, and SendPkt encodes by.
    PeerEncodings peerEncodings;
};

/// Chooses port and message code by IP_MSG and binds the socket; a bind that
/// fails shows the bind-failure box and leaves the socket unbound.
void SetPort(Program& program);

/// Sets the own broadcast address from the socket's local address.
void InitBrdAddr(Program& program);

} // namespace wibblet
