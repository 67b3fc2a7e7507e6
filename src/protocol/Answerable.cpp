#include "protocol/Answerable.h"

#include "protocol/Program.h"

#include <QStringList>

namespace wibblet {

namespace {

// The four numbers of an address the socket takes as it is: four groups of
// one to three digits, each below 256 and without a leading zero.
bool ReadAddress(const QString& text, int (&octets)[4])
{
    const QStringList groups = text.split(QLatin1Char('.'));
    if (groups.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        const QString& group = groups[i];
        if (group.isEmpty() || group.size() > 3 || (group.size() > 1 && group[0] == u'0'))
            return false;
        for (const QChar c : group) {
            if (c < u'0' || c > u'9')
                return false;
        }
        octets[i] = group.toInt();
        if (octets[i] > 255)
            return false;
    }
    return true;
}

} // namespace

bool IsDottedAddress(const QString& text)
{
    int octets[4];
    return ReadAddress(text, octets);
}

bool IsAnswerable(const Program& program, const QString& address)
{
    int octets[4];
    if (!ReadAddress(address, octets))
        return true;
    if (octets[3] == 0 || octets[3] == 255 || address == program.ownBroadcast)
        return false;
    // 0.0.0.0/8 is "this network"; from 224 on, multicast and reserved
    // addresses, 255.255.255.255 among them.
    return octets[0] != 0 && octets[0] < 224;
}

} // namespace wibblet
