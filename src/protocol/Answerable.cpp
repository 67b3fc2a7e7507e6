#include "protocol/Answerable.h"

#include "protocol/Program.h"

#include <QStringList>

namespace wibblet {

namespace {

// The four numbers of a dotted IPv4 address; false for anything else.
bool ReadAddress(const QString& address, int (&octets)[4])
{
    const QStringList parts = address.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        octets[i] = parts[i].toInt(&ok);
        if (!ok || parts[i].isEmpty() || parts[i].size() > 3 || octets[i] < 0 || octets[i] > 255)
            return false;
    }
    return true;
}

} // namespace

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
