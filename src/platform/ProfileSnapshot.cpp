#include "platform/ProfileSnapshot.h"

#include "platform/ProfileFile.h"

namespace wibblet {

ProfileSnapshot::ProfileSnapshot(QByteArray data) : data_(std::move(data))
{
    ProfileFile::ForEachKey(
        data_, [this](QByteArrayView section, QByteArrayView key, QByteArrayView value) {
            const QByteArray k = Key(section, key);
            if (!values_.contains(k))
                values_.insert(k, ProfileFile::DecodeValue(value));
        });
}

QString ProfileSnapshot::Value(const QString& section, const QString& key, const QString& def) const
{
    const auto it =
        values_.constFind(Key(ProfileFile::EncodeName(section), ProfileFile::EncodeName(key)));
    return it == values_.cend() ? def : *it;
}

QList<QByteArray> ProfileSnapshot::KeysWithValue(const QString& section, const QString& value) const
{
    if (!keysByValueBuilt_) {
        for (auto it = values_.cbegin(); it != values_.cend(); ++it) {
            const qsizetype split = it.key().indexOf('\n');
            keysByValue_[it.key().first(split)][it.value()].append(it.key().sliced(split + 1));
        }
        keysByValueBuilt_ = true;
    }
    const auto inSection =
        keysByValue_.constFind(ProfileFile::FoldName(ProfileFile::EncodeName(section)));
    return inSection == keysByValue_.cend() ? QList<QByteArray>() : inSection->value(value);
}

QList<std::pair<QByteArray, QString>> ProfileSnapshot::KeysIn(const QString& section) const
{
    const QByteArray prefix = ProfileFile::FoldName(ProfileFile::EncodeName(section)) + '\n';
    QList<std::pair<QByteArray, QString>> keys;
    for (auto it = values_.cbegin(); it != values_.cend(); ++it) {
        if (it.key().startsWith(prefix))
            keys.append({it.key().sliced(prefix.size()), it.value()});
    }
    return keys;
}

QByteArray ProfileSnapshot::Key(QByteArrayView section, QByteArrayView key)
{
    // No name read from the file holds a line break, so the pair is
    // unambiguous; a name asked for with one never matches, as in the file.
    return ProfileFile::FoldName(section) + '\n' + ProfileFile::FoldName(key);
}

} // namespace wibblet
