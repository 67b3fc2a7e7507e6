#include "settings/BroadcastList.h"

#include "platform/ProfileFile.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

namespace wibblet {

namespace Keys = SettingsKeys;

namespace {

// IPv4 has no more /24 subnets than this; a larger count is a damaged file.
constexpr qint32 kMaxCount = 1 << 24;

// A count edited into something that is not a count (a word, a negative or
// impossible number) is an empty list, so that an addition lands at index 0,
// where the readers look.
qint32 ReadCount(const ProfileSnapshot& file)
{
    const qint32 count =
        ReadNumberOr(file.Value(Keys::BroadcastSection, Keys::BrcCnt, QStringLiteral("0")), 0);
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

void AddBrdList(const Settings& settings, const QString& ownBroadcast, const QString& address)
{
    const QString broadcast = MakeBrdAddr(address);
    if (broadcast == ownBroadcast)
        return;
    // The entries holding this address, found by value instead of reading
    // all of them: every new host from another subnet asks. Only the keys
    // a scan of 0 … count-1 would read count.
    const auto file = settings.Snapshot();
    const qint32 count = ReadCount(*file);
    // The entries' key prefix, folded as the file's keys are.
    const QByteArray prefix = ProfileFile::FoldName(ProfileFile::EncodeName(Keys::BrcIpPrefix));
    for (const QByteArray& key : file->KeysWithValue(Keys::BroadcastSection, broadcast)) {
        if (!key.startsWith(prefix))
            continue;
        bool number = false;
        const qint32 i = key.sliced(prefix.size()).toInt(&number);
        if (number && i >= 0 && i < count && key == prefix + QByteArray::number(i))
            return;
    }
    settings.PutIni(Keys::BroadcastSection, Keys::BrcCnt, QString::number(count + 1));
    settings.PutIni(Keys::BroadcastSection, Keys::BrcIp(count), broadcast);
}

QStringList ReadBrdList(const Settings& settings)
{
    QStringList list;
    const auto file = settings.Snapshot();
    const qint32 count = ReadCount(*file);
    for (qint32 i = 0; i < count; ++i)
        list.append(file->Value(Keys::BroadcastSection, Keys::BrcIp(i), QString()));
    return list;
}

} // namespace wibblet
