#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <thread>

namespace wibblet {
namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// QStringView keeps lone surrogates as they are.
QString Text(const char16_t* text)
{
    return QStringView(text).toString();
}

struct RoundTrip {
    const char16_t* text;
    const char* bytes; // hex
};

TEST(Cp932, EncodesAndDecodesTheCharactersWeUse)
{
    const RoundTrip cases[] = {
        {u"Hello, world ~\\", "48656c6c6f2c20776f726c64207e5c"},
        {u"ｱｲｳｰﾟ｡", "b1b2b3b0df a1"},
        {u"あいう漢字", "82a082a282a48abf8e9a"},
        {u"致命的なエラー(嘘)", "927696bd934982c883478389815b28895229"},
        {u"×", "817e"},
        {u"：", "8146"},
        {u"，", "8143"},
        {u"～", "8160"},
        {u"∥", "8161"},
        {u"①Ⅰ", "87408754"},
        {u"ソ表", "835c955c"}, // trail byte 0x5C, the backslash
    };
    for (const RoundTrip& c : cases) {
        const QString text = Text(c.text);
        const QByteArray bytes = Hex(c.bytes);
        EXPECT_EQ(Cp932::Encode(text).toHex(), bytes.toHex()) << text.toStdString();
        EXPECT_EQ(Cp932::Decode(bytes), text) << c.bytes;
    }
}

TEST(Cp932, NulInTheMiddleRoundTrips)
{
    const QString text = QStringLiteral("a") + QChar(0) + QStringLiteral("漢") + QChar(0);
    const QByteArray bytes("a\0\x8a\xbf\0", 5);
    EXPECT_EQ(Cp932::Encode(text), bytes);
    EXPECT_EQ(Cp932::Decode(bytes), text);
}

TEST(Cp932, UnrepresentableCharactersBecomeOneQuestionMarkEach)
{
    struct Case {
        const char16_t* text;
        const char* expected;
    } cases[] = {
        {u"한", "?"},
        {u"a😀b", "a?b"}, // surrogate pair is one character
        {u"😀😀", "??"},
        {u"x\xD800y", "x?y"}, // lone high surrogate
        {u"x\xDC00", "x?"},   // lone low surrogate at the end
        {u"漢한字", "\x8a\xbf?\x8e\x9a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Cp932::Encode(Text(c.text)), QByteArray(c.expected)) << c.expected;

    const QString highAtEnd = QStringLiteral("ab") + QChar(0xD83D);
    EXPECT_EQ(Cp932::Encode(highAtEnd), QByteArray("ab?"));
}

// glibc's converter drops the tag characters (U+E0000 to U+E007F) without a
// word, which would leave a character that counts in no byte at all.
TEST(Cp932, TagCharactersBecomeAQuestionMarkToo)
{
    EXPECT_EQ(Cp932::Encode(Text(u"\xDB40\xDC00")), QByteArray("?"));
    EXPECT_EQ(Cp932::Encode(Text(u"あ\xDB40\xDC41"
                                 u"b\xDB40\xDC7F")),
              QByteArray("\x82\xa0?b?"));
    EXPECT_EQ(Cp932::Encode(Text(u"\xDB40\xDD00")), QByteArray("?")); // past the tags
}

TEST(Cp932, InvalidBytesDecodeToReplacementAndTheRestSurvives)
{
    struct Case {
        const char* bytes; // hex
        const char16_t* expected;
    } cases[] = {
        {"80", u"\xFFFD"},
        {"418042", u"A\xFFFD"
                   u"B"},
        {"fd41", u"\xFFFD"
                 u"A"},
        {"a0fe ff", u"\xFFFD\xFFFD\xFFFD"},
        {"81ad41", u"\xFFFD"
                   u"A"}, // unassigned pair: one replacement
        {"85404182a0", u"\xFFFD"
                       u"Aあ"},   // unassigned row
        {"810a41", u"\xFFFD\nA"}, // not a trail byte: the line end survives
        {"41 82", u"A\xFFFD"},    // lead byte cut off at the end
        {"82", u"\xFFFD"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Cp932::Decode(Hex(c.bytes)), Text(c.expected)) << c.bytes;
}

TEST(Cp932, LeadBytes)
{
    for (const unsigned char b : {0x81, 0x9F, 0xE0, 0xFC})
        EXPECT_TRUE(Cp932::IsLeadByte(b)) << int(b);
    for (const unsigned char b : {0x00, 0x41, 0x5C, 0x80, 0xA0, 0xA1, 0xDF, 0xFD, 0xFF})
        EXPECT_FALSE(Cp932::IsLeadByte(b)) << int(b);
}

// A failed conversion must not leave state behind for the next call, and
// every thread needs working converters of its own.
TEST(Cp932, WorksAfterErrorsAndOnOtherThreads)
{
    Cp932::Decode(Hex("8241"));
    Cp932::Encode(QStringLiteral("😀"));
    EXPECT_EQ(Cp932::Decode(Hex("82a0")), QStringLiteral("あ"));

    QString decoded;
    QByteArray encoded;
    std::thread worker([&] {
        decoded = Cp932::Decode(Hex("8eb8"));
        encoded = Cp932::Encode(QStringLiteral("嘘"));
    });
    worker.join();
    EXPECT_EQ(decoded, QStringLiteral("失"));
    EXPECT_EQ(encoded.toHex(), QByteArray("8952"));
}

} // namespace
} // namespace wibblet
