#include "platform/Cp932.h"

#include <QSet>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace wibblet::Cp932 {

namespace {

constexpr const char* kUtf16 =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opening a converter loads a gconv module, and one converter must not be
// used by two threads at once, so every thread keeps its own pair.
class Converters {
public:
    Converters() : encoder(iconv_open("CP932", kUtf16)), decoder(iconv_open(kUtf16, "CP932")) {}
    ~Converters()
    {
        if (encoder != kNoConverter)
            iconv_close(encoder);
        if (decoder != kNoConverter)
            iconv_close(decoder);
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    static Converters& ForThisThread()
    {
        thread_local Converters converters;
        return converters;
    }

    iconv_t encoder;
    iconv_t decoder;
};

bool IsTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// What to do with input iconv refused: how many bytes to skip and what to put
// in their place.
struct Skip {
    size_t inputBytes;
    QByteArrayView replacement;
};

// Runs the whole input through cd, asking onError how to step over what it
// cannot convert, so one bad character never costs the rest of the text.
template <typename OnError>
QByteArray Convert(iconv_t cd, const char* input, size_t size, size_t outGuess, OnError onError)
{
    QByteArray out(qsizetype(outGuess + 8), Qt::Uninitialized);
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // drop state a failed call may have left
    char* in = const_cast<char*>(input);
    size_t inLeft = size;
    qsizetype used = 0;
    auto room = [&](qsizetype need) {
        if (out.size() - used < need)
            out.resize(std::max(out.size() * 2, used + need));
    };
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        size_t outLeft = size_t(out.size() - used);
        const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = outPtr - out.data();
        if (result != size_t(-1))
            break;
        if (error == E2BIG) {
            room(out.size() + 8);
            continue;
        }
        // EILSEQ: not convertible; EINVAL: cut short at the end of the input.
        const Skip skip = onError(reinterpret_cast<const unsigned char*>(in), inLeft);
        in += skip.inputBytes;
        inLeft -= skip.inputBytes;
        room(skip.replacement.size());
        memcpy(out.data() + used, skip.replacement.data(), size_t(skip.replacement.size()));
        used += skip.replacement.size();
    }
    out.truncate(used);
    return out;
}

char16_t Unit(const unsigned char* p)
{
    char16_t u;
    memcpy(&u, p, sizeof u);
    return u;
}

// Without a converter (no gconv modules installed) ASCII still gets through.
QByteArray EncodeAsciiOnly(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.append(u < 0x80 ? char(u) : '?');
    }
    return out;
}

QString DecodeAsciiOnly(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out.append(uchar(c) < 0x80 ? QChar(uchar(c)) : QChar(QChar::ReplacementCharacter));
    return out;
}

// Code page 932 is ASCII below 0x80, so the headers and host names that make
// up most traffic need no converter.
bool IsAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool IsAscii(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

QByteArray EncodeRun(iconv_t cd, QStringView text)
{
    if (text.isEmpty())
        return {};
    // One '?' per character, as Windows does; a surrogate pair is one character.
    auto onError = [](const unsigned char* in, size_t left) {
        size_t skip = 2;
        if (left >= 4 && QChar::isHighSurrogate(Unit(in)) && QChar::isLowSurrogate(Unit(in + 2)))
            skip = 4;
        return Skip{std::min(skip, left), QByteArrayView("?")};
    };
    return Convert(cd, reinterpret_cast<const char*>(text.utf16()),
                   size_t(text.size()) * sizeof(char16_t), size_t(text.size()) * 2, onError);
}

} // namespace

QByteArray Encode(const QString& text)
{
    if (text.isEmpty())
        return {};
    if (IsAscii(text))
        return text.toLatin1();
    const iconv_t cd = Converters::ForThisThread().encoder;
    if (cd == kNoConverter)
        return EncodeAsciiOnly(text);
    // glibc's converter drops the tag characters (U+E0000 to U+E007F) without
    // an error, so they are cut out here and become "?" like any other
    // character code page 932 lacks.
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i).unicode() == 0xDB40 && text.at(i + 1).unicode() >= 0xDC00
            && text.at(i + 1).unicode() <= 0xDC7F) {
            out += EncodeRun(cd, QStringView(text).sliced(start, i - start));
            out += '?';
            ++i; // past the pair's second half
            start = i + 1;
        }
    }
    if (start == 0)
        return EncodeRun(cd, text);
    return out + EncodeRun(cd, QStringView(text).sliced(start));
}

QString Decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    const iconv_t cd = Converters::ForThisThread().decoder;
    if (cd == kNoConverter)
        return DecodeAsciiOnly(bytes);
    static const char16_t kReplacement = QChar::ReplacementCharacter;
    // A lead byte with a proper trail byte is one unknown character; otherwise
    // only the bad byte goes, so a following ASCII byte (say a line end) survives.
    auto onError = [](const unsigned char* in, size_t left) {
        const size_t skip = left >= 2 && IsLeadByte(in[0]) && IsTrailByte(in[1]) ? 2 : 1;
        return Skip{skip, QByteArrayView(reinterpret_cast<const char*>(&kReplacement),
                                         sizeof kReplacement)};
    };
    // Every byte or byte pair gives at most one UTF-16 unit.
    const QByteArray utf16 = Convert(cd, bytes.constData(), size_t(bytes.size()),
                                     size_t(bytes.size()) * sizeof(char16_t), onError);
    return QString(reinterpret_cast<const QChar*>(utf16.constData()),
                   utf16.size() / qsizetype(sizeof(char16_t)));
}

QStringList Missing(const QString& text)
{
    QStringList missing;
    QSet<QString> seen;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() < 0x80)
            continue;
        const qsizetype length =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                ? 2
                : 1;
        const QString character = text.mid(i, length);
        i += length - 1;
        if (seen.contains(character))
            continue;
        seen.insert(character);
        // One character encodes to "?" exactly when code page 932 lacks it.
        if (Encode(character) == "?")
            missing.append(character);
    }
    return missing;
}

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace wibblet::Cp932
