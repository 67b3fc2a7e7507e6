#pragma once

#include <QString>

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
/// leaves the old one whole. Returns false when the file could not be written.
bool Write(const QString& path, const QString& section, const QString& key, const QString& value);

} // namespace wibblet::ProfileFile
