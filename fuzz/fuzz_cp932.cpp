// Code page 932 both ways: decoding any bytes settles after one round trip,
// encoding any UTF-16 (lone surrogates included) gives one or two bytes per
// character, and LenAnsi counts exactly what Encode produces.
#include "platform/Cp932.h"
#include "settings/Settings.h"

#include <cstdlib>
#include <cstring>

using namespace wibblet;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void DecodeSettles(const QByteArray& bytes)
{
    const QString once = Cp932::Decode(bytes);
    // At most one UTF-16 unit per byte: code page 932 lies inside the BMP.
    Check(once.size() <= bytes.size());
    const QByteArray encoded = Cp932::Encode(once);
    const QString twice = Cp932::Decode(encoded);
    // What could not be read comes back as "?"; everything else as it was.
    QString expected = once;
    expected.replace(QChar(QChar::ReplacementCharacter), QLatin1Char('?'));
    Check(twice == expected);
    Check(Cp932::Encode(twice) == encoded);
}

void EncodeAnything(const QString& text)
{
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++characters) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    const QByteArray encoded = Cp932::Encode(text);
    Check(encoded.size() >= characters && encoded.size() <= 2 * characters);
    Check(LenAnsi(text) == encoded.size());
    Check(Cp932::Decode(encoded).size() == characters);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    DecodeSettles(bytes);
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    EncodeAnything(units);
    return 0;
}
