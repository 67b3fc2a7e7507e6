#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace wibblet::Cp932 {

/// Text to code page 932 bytes; a character it cannot represent becomes "?".
QByteArray Encode(const QString& text);
/// Code page 932 bytes to text; an invalid sequence becomes U+FFFD.
QString Decode(const QByteArray& bytes);
/// The characters of text code page 932 has no code for, each once, in the
/// order they first appear; a surrogate pair is one character.
QStringList Missing(const QString& text);
/// True when byte b starts a double-byte character.
bool IsLeadByte(unsigned char b);

} // namespace wibblet::Cp932
