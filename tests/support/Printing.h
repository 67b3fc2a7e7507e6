#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <ostream>

// Failures show texts readably: QString as text with NULs and line breaks
// escaped, QByteArray byte by byte with all but printable ASCII in hex.
inline void PrintTo(const QString& text, std::ostream* out)
{
    QString shown = text;
    shown.replace(QChar(u'\0'), QStringLiteral("\\0"))
        .replace(QStringLiteral("\r"), QStringLiteral("\\r"));
    shown.replace(QStringLiteral("\n"), QStringLiteral("\\n"));
    *out << '"' << shown.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"';
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            *out << c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            *out << hex;
        }
    }
    *out << '"';
}
