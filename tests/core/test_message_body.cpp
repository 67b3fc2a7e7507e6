#include "protocol/Datagram.h"
#include "protocol/MessageBody.h"
#include "protocol/OfferedFiles.h"
#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace wibblet;
using namespace std::literals;

namespace {

// Keeps embedded NULs, which QStringLiteral would end at.
QString W(std::u16string_view s)
{
    return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size()));
}

Datagram Received(const QString& body)
{
    return Datagram::Parse(QStringLiteral("1:7:taro:PC01:20:") + body, QStringLiteral("10.0.0.2"));
}

MessageBody Read(const QString& body)
{
    return ReadBody(Received(body), QStringLiteral("DEF"), QStringLiteral("OKAY"));
}

void ExpectBody(const MessageBody& got, std::u16string_view text, std::u16string_view title,
                std::u16string_view ok, qint32 icon)
{
    EXPECT_EQ(got.text, W(text));
    EXPECT_EQ(got.title, W(title));
    EXPECT_EQ(got.ok, W(ok));
    EXPECT_EQ(got.icon, icon);
    EXPECT_FALSE(got.text.contains(QChar(u'\0')));
}

} // namespace

TEST(MessageBodyTest, WrittenBodiesReadBackWithFullWidthColons)
{
    const struct {
        std::u16string_view text, title, ok;
        qint32 icon;
        bool reveal;
        std::u16string_view body, readText, readTitle, readOk;
    } table[] = {
        {u"hi", u"T", u"OK", 3, false, u"hi\0:T:OK:3\0"sv, u"hi", u"T", u"OK"},
        {u"a:b", u"x:y", u"o:k", 0, false, u"a：b\0:x：y:o：k:0\0"sv, u"a：b", u"x：y", u"o：k"},
        {u"", u"", u"", 8, false, u"\0:::8\0"sv, u"", u"", u""},
        {u"l1\r\nl2", u"T", u"", 4, true, u"l1\r\nl2\0:T  (from  PC：01[ta：ro])::4\0"sv,
         u"l1\r\nl2", u"T  (from  PC：01[ta：ro])", u""},
    };
    for (const auto& row : table) {
        const QString body = WriteBody(W(row.text), W(row.title), W(row.ok), row.icon, row.reveal,
                                       QStringLiteral("PC:01"), QStringLiteral("ta:ro"));
        EXPECT_EQ(body, W(row.body));
        // Colons in the host and user names of the sender note go out full-width
        // too: the title and caption read back whole.
        ExpectBody(Read(body), row.readText, row.readTitle, row.readOk, row.icon);
    }
}

TEST(MessageBodyTest, BodiesWithoutFieldsOrWithOddFields)
{
    const struct {
        std::u16string_view body, text, title, ok;
        qint32 icon;
    } table[] = {
        // Another messenger's bare text gets the receiver's note (one space before "(from").
        {u"hello\0"sv, u"hello", u"DEF (from  PC01[taro])", u"OKAY", 9},
        {u"hello"sv, u"hello", u"DEF (from  PC01[taro])", u"OKAY", 9},
        {u"see http://example.com/a:b\0"sv, u"see http://example.com/a:b",
         u"DEF (from  PC01[taro])", u"OKAY", 9},
        {u"see http://example.com/a:b"sv, u"see http://example.com/a:b", u"DEF (from  PC01[taro])",
         u"OKAY", 9},
        {u"a:b:c:d\0"sv, u"a:b:c:d", u"DEF (from  PC01[taro])", u"OKAY", 9},
        // Not enough colons after the NUL, or no colon right after it.
        {u"t\0:x:\0"sv, u"t", u"DEF (from  PC01[taro])", u"OKAY", 9},
        {u"t\0x:y:z:1\0"sv, u"t", u"DEF (from  PC01[taro])", u"OKAY", 9},
        // An older sender's caption keeps its colon; the icon follows the last one.
        {u"t\0:t:o:k:3\0"sv, u"t", u"t", u"o:k", 3},
        {u"t\0:t:ok:abc\0"sv, u"t", u"t", u"ok", 9},
        {u"t\0:t:ok:\0"sv, u"t", u"t", u"ok", 9},
        {u"t\0:t:ok:99999999999\0"sv, u"t", u"t", u"ok", 9},
        {u"t\0:t:ok:12\0"sv, u"t", u"t", u"ok", 12},
        {u"t\0:t:ok:-1\0"sv, u"t", u"t", u"ok", -1},
        {u"t\0:t:ok:5"sv, u"t", u"t", u"ok", 5},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(W(row.body).toStdString());
        ExpectBody(Read(W(row.body)), row.text, row.title, row.ok, row.icon);
    }
}

TEST(MessageBodyTest, WellFormedBodiesReadAsTheirColonPositionsSay)
{
    const std::u16string_view bodies[] = {
        u"hello\0:Title:Close:4\0"sv, u"\0:::0\0"sv,      u"x\r\ny\0:t  (from  H[u]):o k:8\0"sv,
        u"a：b\0:t：t:c：d:12\0"sv,   u"z\0:t:o: 7 \0"sv, u"z\0:t:o:-3\0"sv,
    };
    for (const auto body : bodies) {
        const Datagram d = Received(W(body));
        ASSERT_EQ(d.text.count(QLatin1Char(':')), 8);
        const MessageBody got = Read(W(body));
        EXPECT_EQ(got.text, d.Range(d.c[5] + 1, d.c[6] - 2));
        EXPECT_EQ(got.title, d.Range(d.c[6] + 1, d.c[7] - 1));
        EXPECT_EQ(got.ok, d.Range(d.c[7] + 1, d.c[8] - 1));
        EXPECT_EQ(got.icon, ReadNumber(d.text.mid(d.c[8])));
    }
}

// A message offering files (IP Messenger's option) has their list after the
// NUL instead of the presentation fields; the text gains a line naming them.
TEST(MessageBodyTest, OfferedFilesAreNamedInPlaceOfThePresentation)
{
    const QString name50 =
        QString(38, QLatin1Char('n')) + QStringLiteral("😀") + QString(10, QLatin1Char('n'));
    const struct {
        std::u16string_view body;
        QString text;
    } table[] = {
        // Looks like presentation fields: still a list (id ":T", name "OK").
        {u"hi\0:T:OK:3\0"sv, QStringLiteral("hi\r\n（添付ファイル「OK」は受け取れません）")},
        // Doubled colons, extended attributes, a colon after BEL, the list ends at a NUL.
        {u"\0"
         "1:a::b:1:0:1:14=1,2:\a:2:c:1:0:1:\a\0"
         "3:d:1:0:1:"sv,
         QStringLiteral("（添付ファイル「a:b」「c」は受け取れません）")},
        // No list, or entries without a name: the line all the same.
        {u"t"sv, QStringLiteral("t\r\n（添付ファイルは受け取れません）")},
        {u"\0"
         "1\a2::\a\a"sv,
         QStringLiteral("（添付ファイルは受け取れません）")},
        // Line breaks in a name; a fourth file is counted, not named.
        {u"\0"
         "1:a\r\nb:1:0:1:\a2:c:1:0:1:\a3:d:1:0:1:\a4:e:1:0:1:\a"sv,
         QStringLiteral("（添付ファイル「a  b」「c」「d」ほか1件は受け取れません）")},
    };
    for (const auto& row : table) {
        Datagram d = Received(W(row.body));
        d.filesOffered = true;
        const MessageBody got = ReadBody(d, QStringLiteral("DEF"), QStringLiteral("OKAY"));
        EXPECT_EQ(got.text.toStdString(), row.text.toStdString());
        EXPECT_EQ(got.title, QStringLiteral("DEF (from  PC01[taro])"));
        EXPECT_EQ(got.ok, QStringLiteral("OKAY"));
        EXPECT_EQ(got.icon, kForeignIcon);
    }
    // A long name is cut, never inside a surrogate pair.
    EXPECT_EQ(OfferedFilesLine({name50, QString(40, QLatin1Char('x'))}),
              QStringLiteral("（添付ファイル「") + QString(38, QLatin1Char('n'))
                  + QStringLiteral("…」「") + QString(40, QLatin1Char('x'))
                  + QStringLiteral("」は受け取れません）"));
}
