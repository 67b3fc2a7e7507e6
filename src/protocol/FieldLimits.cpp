#include "protocol/FieldLimits.h"

namespace wibblet {

namespace {

// Code page 932 writes ASCII and the half-width katakana in one byte, every
// other character it has in two.
qsizetype BytesOf(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F) ? 1 : 2;
}

} // namespace

QString CutToBytes(const QString& text, qsizetype maxBytes)
{
    // No character counts more than two bytes: short text needs no count.
    if (text.size() * 2 <= maxBytes)
        return text;
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        // A surrogate pair is one character, which code page 932 lacks.
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const qsizetype cost = pair ? 4 : BytesOf(text[i]);
        if (bytes + cost > maxBytes)
            return text.left(i);
        bytes += cost;
        i += units;
    }
    return text;
}

} // namespace wibblet
