#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace wibblet::ProfileFile {

/// Reads one value of a sectioned settings file ("[section]", "key=value"
/// lines, code page 932). Section and key names match without regard to
/// ASCII case; blanks around names and values are trimmed. Returns def when
/// the file, the section or the key is missing; a key with an empty value
/// gives the empty text. At most 1023 bytes of a value are returned, never
/// splitting a double-byte character.
QString Read(const QString& path, const QString& section, const QString& key, const QString& def);

/// Writes one value: replaces the key's line in place, or appends the key at
/// the end of its section, or appends the section at the end of the file, or
/// creates the file. Every other line is kept byte for byte; new lines end in
/// CR LF. The file is replaced through a temporary file, so a failed write
/// leaves the old one whole. Returns false when the file could not be written,
/// and without touching it for a value holding a line break (CR or LF).
/// A write that would leave the file byte for byte as it is does not touch
/// it. written, when given, receives the file's new contents.
bool Write(const QString& path, const QString& section, const QString& key, const QString& value,
           QByteArray* written = nullptr);

/// One value for WriteAll and Update: Write's section, key and value.
struct Edit {
    QString section;
    QString key;
    QString value;
};

/// Writes several values with one replacement of the file, leaving it as
/// writing them one after another with Write would (a value holding a line
/// break is left out, as Write refuses it); the work grows with the file and
/// the number of values, not with their product. Returns false when the file
/// could not be written.
bool WriteAll(const QString& path, const QList<Edit>& edits, QByteArray* written = nullptr);

/// Reads the file, hands its bytes to decide and writes the edits decide
/// returns, all under one guard: the new file replaces the old one only if
/// the old one still holds the bytes decide saw. When it was saved in
/// between (by a user's editor, say), it is read and decided on again, so a
/// write never puts older contents back over newer ones. No edits: nothing
/// is written. Write and WriteAll go through here.
bool Update(const QString& path, const std::function<QList<Edit>(const QByteArray&)>& decide,
            QByteArray* written = nullptr);

/// Calls visit(section, key, value) for every key line that lies inside a
/// section, in file order, with names and value trimmed as Read sees them.
void ForEachKey(QByteArrayView data,
                const std::function<void(QByteArrayView, QByteArrayView, QByteArrayView)>& visit);
/// A name in code page 932, trimmed, as ForEachKey and Read compare it.
QByteArray EncodeName(const QString& name);
/// A name folded so that two names match exactly when their folds are equal:
/// ASCII letters lowered, double-byte characters kept as they are.
QByteArray FoldName(QByteArrayView name);
/// A value's bytes as Read returns them: at most 1023 bytes, decoded.
QString DecodeValue(QByteArrayView value);

} // namespace wibblet::ProfileFile
