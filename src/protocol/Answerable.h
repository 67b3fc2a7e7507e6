#pragma once

#include <QString>

namespace wibblet {

class Program;

/// Whether a datagram from address may be answered. Not when the address
/// reaches a whole subnet or none: x.y.z.0 and x.y.z.255 (the network and
/// broadcast addresses of a /24, whatever the real mask), the own subnet's
/// broadcast address, 0.x.y.z, and multicast and reserved addresses up to
/// 255.255.255.255. A forged source like that would turn every answer,
/// receipt, read notice and reply into a broadcast to hosts that never
/// spoke to us. An address that is not a dotted IPv4 address may be answered.
bool IsAnswerable(const Program& program, const QString& address);

/// Whether text is a dotted IPv4 address the socket takes as it is (four
/// groups of one to three digits below 256, no leading zero): anything else
/// would be looked up by name.
bool IsDottedAddress(const QString& text);

} // namespace wibblet
