#pragma once

#include "platform/UdpSocket.h"

#include <QString>

namespace wibblet {

class Program;

/// Points the socket's remote endpoint at host, on the program's port.
void SetRemote(Program& program, const QString& host);
/// How datagrams to host go: in emulation mode UTF-8 to a peer that writes
/// it, has said it reads it or is iptux (PeerEncodings); code page 932
/// otherwise and always in the own mode.
TextEncoding EncodingFor(const Program& program, const QString& host);
/// Sends a datagram to the remote endpoint in the encoding its host takes,
/// with the UTF-8 flag on the command when that is UTF-8; throws Failure
/// with the socket error number when the send fails (one merely queued has
/// not failed).
void SendPkt(Program& program, const QString& datagram,
             SendPriority priority = SendPriority::Normal);

/// Presence broadcasts: one datagram, one packet number, sent to the own
/// subnet, every listed subnet and the own subnet again; in code page 932,
/// except in emulation mode when it holds more than ASCII: then in UTF-8
/// with the UTF-8 flag. A list entry that
/// is not a dotted address is skipped unread (no name look-up), and an
/// address that cannot be sent to is skipped; the others still get it.
void SendEntry(Program& program);
void SendExit(Program& program);
/// code: 260 (absent) or 4 (present again).
void SendAbsence(Program& program, qint32 code);

/// Answers an entry from host once in each code set (3, then 6291459), at
/// the priority of an answer (AnswerToStranger for an unverified source).
/// Nothing for an empty host. Throws Failure when a send fails.
void SendAnsEntry(Program& program, const QString& host,
                  SendPriority priority = SendPriority::Answer);

} // namespace wibblet
