#pragma once

#include <QString>

namespace wibblet {

class Program;

/// Advances the packet-number counter: 1 … 2147483646, then 1 again.
qint32 NextPacketNo(Program& program);

/// "1:" number ":" user ":" host ":" command ":" with the command number of
/// the program's own code set; the caller appends the extra field. A request
/// code outside the table writes no command number.
QString MakePkt(Program& program, qint32 request);
/// The same header with the IP Messenger code set.
QString MakePktIpm(Program& program, qint32 request);

/// The extra field of our entries, answers and absence packets. In emulation
/// mode the user name (colons full-width, as in the header) as nickname with
/// an empty group, "name\0\0": IP Messenger-compatible clients list us by
/// it. In the own mode plain, as ever.
QString NicknameExtra(const Program& program, const QString& plain);

} // namespace wibblet
