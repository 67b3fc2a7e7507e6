#include "settings/BroadcastList.h"

#include "platform/ProfileFile.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QMap>

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

// The list as one version of the file holds it: the entries present at
// the indices below the count, in the exact key form the list writes
// ("BRC_IP_7", not "BRC_IP_07"). Work in proportion to the section's keys.
void Parse(const ProfileSnapshot& file, BroadcastListMemory* list)
{
    const qint32 count = ReadCount(file);
    // The entries' key prefix, folded as the file's keys are.
    const QByteArray prefix = ProfileFile::FoldName(ProfileFile::EncodeName(Keys::BrcIpPrefix));
    QMap<qint32, QString> byIndex;
    for (const auto& [key, value] : file.KeysIn(Keys::BroadcastSection)) {
        if (!key.startsWith(prefix) || value.isEmpty())
            continue;
        bool number = false;
        const qint32 i = key.sliced(prefix.size()).toInt(&number);
        if (number && i >= 0 && i < count && key == prefix + QByteArray::number(i))
            byIndex.insert(i, value);
    }
    list->count = count;
    list->entries = byIndex.values();
    list->listed = QSet<QString>(list->entries.cbegin(), list->entries.cend());
}

// The memory brought up to the file as it is now (one stat; parsed again
// only when the file changed).
BroadcastListMemory& Current(const Settings& settings)
{
    BroadcastListMemory& memory = settings.BrdListMemory();
    const auto file = settings.Snapshot();
    if (memory.parsedFrom != file) {
        Parse(*file, &memory);
        memory.parsedFrom = file;
    }
    return memory;
}

// Whether a subnet joins a list that holds these entries.
bool Joins(const BroadcastListMemory& list, const QStringList& unrecorded, const QString& subnet)
{
    return !list.listed.contains(subnet) && !unrecorded.contains(subnet)
           && list.entries.size() + unrecorded.size() < MaxLearnedSubnets;
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
    // Decided on the kept copy first: a flood of hosts from known subnets,
    // or from any subnet once the list is full, costs no reading or writing.
    BroadcastListMemory& memory = Current(settings);
    if (!Joins(memory, memory.unrecorded, broadcast))
        return;
    // Then again on the file as the write finds it, so that an edit saved
    // since the kept copy was read is neither lost nor contradicted.
    const bool recorded = settings.UpdateIni([&](const ProfileSnapshot& file) {
        BroadcastListMemory now;
        Parse(file, &now);
        if (!Joins(now, memory.unrecorded, broadcast))
            return QList<ProfileFile::Edit>();
        return QList<ProfileFile::Edit>{
            {Keys::BroadcastSection, Keys::BrcCnt, QString::number(now.count + 1)},
            {Keys::BroadcastSection, Keys::BrcIp(now.count), broadcast},
        };
    });
    // A file that cannot be written is not tried again for this subnet.
    if (!recorded)
        memory.unrecorded.append(broadcast);
}

QStringList ReadBrdList(const Settings& settings)
{
    const BroadcastListMemory& memory = Current(settings);
    QStringList list = memory.entries;
    for (const QString& subnet : memory.unrecorded) {
        if (!memory.listed.contains(subnet))
            list.append(subnet);
    }
    return list;
}

} // namespace wibblet
