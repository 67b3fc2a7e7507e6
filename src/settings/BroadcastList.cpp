#include "settings/BroadcastList.h"

#include "platform/UdpSocket.h"
#include "settings/NumberText.h"
#include "settings/Program.h"

namespace wibblet {

namespace {

const QString kSection = QStringLiteral("BRD_CAST");
const QString kCount = QStringLiteral("BRC_CNT");

QString EntryKey(qint32 i)
{
    return QStringLiteral("BRC_IP_") + QString::number(i);
}

// IPv4 has no more /24 subnets than this; a larger count is a damaged file.
constexpr qint32 kMaxCount = 1 << 24;

// A count edited into something that is not a count (a word, a negative or
// impossible number) is an empty list, so that an addition lands at index 0,
// where the readers look.
qint32 ReadCount(const Program& program)
{
    const qint32 count = ReadNumberOr(program.settings.GetIni(kSection, kCount, QStringLiteral("0")), 0);
    return count < 0 || count > kMaxCount ? 0 : count;
}

} // namespace

QString MakeBrdAddr(const QString& address)
{
    const qsizetype n = address.size();
    for (qsizetype back = 2; back <= 4; ++back) {
        if (n >= back && address[n - back] == QLatin1Char('.'))
            return address.left(n - back + 1) + QStringLiteral("255");
    }
    return QStringLiteral("255");
}

void InitBrdAddr(Program& program)
{
    program.ownBroadcast = MakeBrdAddr(program.socket.LocalIP());
}

void AddBrdList(const Program& program, const QString& address)
{
    const QString broadcast = MakeBrdAddr(address);
    if (broadcast == program.ownBroadcast)
        return;
    const qint32 count = ReadCount(program);
    for (qint32 i = 0; i < count; ++i) {
        if (program.settings.GetIni(kSection, EntryKey(i), QString()) == broadcast)
            return;
    }
    program.settings.PutIni(kSection, kCount, QString::number(count + 1));
    program.settings.PutIni(kSection, EntryKey(count), broadcast);
}

QStringList ReadBrdList(const Program& program)
{
    QStringList list;
    const qint32 count = ReadCount(program);
    for (qint32 i = 0; i < count; ++i)
        list.append(program.settings.GetIni(kSection, EntryKey(i), QString()));
    return list;
}

} // namespace wibblet
