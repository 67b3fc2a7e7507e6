// Presence in emulation mode: the absence option judged per host, and nick
// names taken from every presence packet.
#include "protocol/Datagram.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"

namespace wibblet {

namespace {

// IP Messenger's absence option on presence packets.
constexpr qint32 kAbsenceOption = 0x100;

} // namespace

QString Dispatcher::Nickname(const Datagram& d)
{
    const QString nickname = CutAtNul(d.extra);
    return nickname.isEmpty() ? d.senderName : nickname;
}

void Dispatcher::Answer(const Datagram& d, bool emulation)
{
    if (members_.chkMember(d.senderHost) < 0)
        NewMember(d, true);
    if (emulation)
        Announced(d);
}

void Dispatcher::Announced(const Datagram& d)
{
    members_.SetAbsenceOnEntry(d.senderHost, d.command & kAbsenceOption);
    if (const int r = members_.chkMember(d.senderHost); r >= 1)
        members_.SetText(r, MemberTable::ColUser, Nickname(d));
}

void Dispatcher::SetPresence(const Datagram& d, bool absent, bool emulation)
{
    const int r = members_.chkMember(d.senderHost);
    if (r < 1)
        return;
    if (emulation) {
        // IP Messenger sets the option only while away (on its entry only
        // when away at start); iptux sets it on every presence packet, its
        // entry too, and sends 0x104 when its nick name changes. A packet
        // without the option shows a host of the first kind.
        if (!absent)
            members_.SetAbsenceOnEntry(d.senderHost, false);
        else if (members_.AbsenceOnEntry(d.senderHost))
            absent = false;
    }
    members_.SetText(r, MemberTable::ColPresence, absent ? QStringLiteral("×") : QString());
    // Last: while the list is sorted by user name, the name moves the row.
    if (emulation)
        members_.SetText(r, MemberTable::ColUser, Nickname(d));
}

} // namespace wibblet
