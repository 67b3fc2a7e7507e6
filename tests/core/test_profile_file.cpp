#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace wibblet {
namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QString Path(const QString& name = QStringLiteral("wibblet.ini")) const
    {
        return dir_.filePath(name);
    }

    void Put(const QByteArray& bytes) const
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray Contents(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QByteArray Contents() const { return Contents(Path()); }

    QString Read(const char* section, const char* key) const
    {
        return ProfileFile::Read(Path(), QString::fromUtf8(section), QString::fromUtf8(key),
                                 QStringLiteral("<default>"));
    }

    bool Write(const char* section, const char* key, const QString& value) const
    {
        return ProfileFile::Write(Path(), QString::fromUtf8(section), QString::fromUtf8(key),
                                  value);
    }

    QTemporaryDir dir_;
};

TEST_F(ProfileFileTest, ReadsValues)
{
    Put("top=before any section\r\n"
        "[Main]\r\n"
        "Name=Alice\r\n"
        "Empty=\r\n"
        "  Spaced \t=  \t two  words \t\r\n"
        "NoEquals\r\n"
        "Eq=a=b\r\n"
        "\r\n"
        "  [ Other ]  \n"
        "name=lf only\n"
        "[main]\r\n"
        "Name=second\r\n"
        "Late=in the second copy\r\n"
        "[\x83\x5d]\r\n" // ゾ: its trail byte 0x5D looks like ']'
        "k=dbcs section\r\n"
        "[\x83\x41]\r\n" // ア: trail byte 0x41 looks like 'A'
        "k=a\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Main", "Name", "Alice"},
        {"MAIN", "name", "Alice"}, // names ignore ASCII case, first section wins
        {"main", "NAME", "Alice"},
        {"Main", "Empty", ""},
        {"Main", "Spaced", "two  words"},
        {" Main ", " Spaced ", "two  words"},
        {"Main", "Eq", "a=b"},
        {"Main", "Late", "in the second copy"}, // found in a later copy of the section
        {"Other", "NAME", "lf only"},
        {"Main", "NoEquals", "<default>"},
        {"Main", "Missing", "<default>"},
        {"Missing", "Name", "<default>"},
        {"", "top", "<default>"},
        {"ゾ", "k", "dbcs section"},
        {"ア", "k", "a"},
        {"ヂ", "k", "<default>"}, // 0x83 0x61: same bytes as ア once 'A' is lowered
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.section, c.key), QString::fromUtf8(c.expected))
            << c.section << "/" << c.key;
}

TEST_F(ProfileFileTest, MissingFileGivesDefault)
{
    EXPECT_EQ(Read("Main", "Name"), QStringLiteral("<default>"));
    EXPECT_EQ(ProfileFile::Read(dir_.path(), QStringLiteral("Main"), QStringLiteral("Name"),
                                QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST_F(ProfileFileTest, LongValuesAreCutWithoutSplittingACharacter)
{
    const QByteArray ascii(1500, 'x');
    Put("[Main]\r\nLong=" + ascii + "\r\nKanji=" + QByteArray(1022, 'y')
        + "\x8a\xbf\r\nExact=" + QByteArray(1021, 'z') + "\x8a\xbf\r\n");
    EXPECT_EQ(Read("Main", "Long"), QString(1023, QLatin1Char('x')));
    EXPECT_EQ(Read("Main", "Kanji"), QString(1022, QLatin1Char('y')));
    EXPECT_EQ(Read("Main", "Exact"), QString(1021, QLatin1Char('z')) + QStringLiteral("漢"));
}

TEST_F(ProfileFileTest, ReadCopesWithGarbage)
{
    QByteArray garbage;
    for (int i = 0; i < 3'000'000; ++i)
        garbage.append(char((unsigned(i) * 7919u) >> 3)); // wraps by design
    Put(garbage + "\n[Main]\nKey=\x81");
    EXPECT_EQ(Read("Main", "Key"), QString(QChar::ReplacementCharacter));
    EXPECT_EQ(Read("Main", "Other"), QStringLiteral("<default>"));
}

TEST_F(ProfileFileTest, ReplacesTheKeyInPlaceAndKeepsEveryOtherByte)
{
    const QByteArray before = "; comment \xff\xfe\r\n"
                              "[Main]\r\n"
                              "bad=\x81\x20\x80 kept\r\n"
                              "  NAME  =  old  \r\n"
                              "lf=only\n"
                              "[Main]\r\n"
                              "Name=second copy\r\n"
                              "tail";
    Put(before);
    ASSERT_TRUE(Write("main", "Name", QStringLiteral("new")));
    QByteArray expected = before;
    expected.replace("  NAME  =  old  ", "Name=new");
    EXPECT_EQ(Contents(), expected);
    EXPECT_EQ(Read("Main", "name"), QStringLiteral("new"));
}

TEST_F(ProfileFileTest, NewKeyGoesAfterTheLastLineOfItsSection)
{
    Put("[A]\r\na=1\r\n\r\n\r\n[B]\r\nb=1\r\n");
    ASSERT_TRUE(Write("a", "new", QStringLiteral("2")));
    EXPECT_EQ(Contents(), QByteArray("[A]\r\na=1\r\nnew=2\r\n\r\n\r\n[B]\r\nb=1\r\n"));

    ASSERT_TRUE(Write("B", "other", QStringLiteral("3")));
    EXPECT_EQ(Contents(), QByteArray("[A]\r\na=1\r\nnew=2\r\n\r\n\r\n[B]\r\nb=1\r\nother=3\r\n"));
}

TEST_F(ProfileFileTest, NewKeyInAnEmptySectionOrAfterAnUnendedLastLine)
{
    Put("[Empty]\n  \n[Last]\nx=1");
    ASSERT_TRUE(Write("Empty", "k", QStringLiteral("v")));
    ASSERT_TRUE(Write("Last", "y", QStringLiteral("2")));
    EXPECT_EQ(Contents(), QByteArray("[Empty]\nk=v\r\n  \n[Last]\nx=1\r\ny=2\r\n"));
}

TEST_F(ProfileFileTest, NewSectionIsAppendedAtTheEnd)
{
    struct Case {
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"[A]\r\na=1\r\n", "[A]\r\na=1\r\n[New]\r\nk=v\r\n"},
        {"[A]\r\na=1", "[A]\r\na=1\r\n[New]\r\nk=v\r\n"},
        {"[A]\na=1\n", "[A]\na=1\n[New]\r\nk=v\r\n"},
        {"", "[New]\r\nk=v\r\n"},
    };
    for (const Case& c : cases) {
        Put(c.before);
        ASSERT_TRUE(Write("New", "k", QStringLiteral("v")));
        EXPECT_EQ(Contents(), c.after) << c.before.toStdString();
    }
}

TEST_F(ProfileFileTest, WriteAllLeavesTheFileAsWritingEachValueInTurn)
{
    const QByteArray files[] = {
        "",
        "[A]\r\na=1\r\n\r\n[B]\r\nb=1\r\n[a]\r\nlate=1\r\n",
        "[Empty]\n  \n[Last]\nx=1",
        "; no section, no line end",
        "[B]\r\nk=dup\r\nK=second\r\n[A]\r\n",
        "[\x83\x41]\r\nk=1\r\n", // ア
    };
    const QList<ProfileFile::Edit> plain{
        {"A", "a", "2"},      {"a", "new", "3"},   {"a", "NEW", "4"},  {"New", "k", "5"},
        {"B", "k", "6"},      {"new", "j", "7"},   {"Last", "y", "8"}, {"Other", "x", "a\nb"},
        {"A", "late", "9"},   {"ア", "k", "10"},   {"ヂ", "k", "11"},  {"Zeta", "k", "12"},
        {"Empty", "z", "13"}, {"zeta", "k", "14"},
    };
    // A key that its own line would not give back goes through one by one.
    const QList<ProfileFile::Edit> mixed = plain + QList<ProfileFile::Edit>{{"A", "x=y", "15"}};
    for (const QByteArray& file : files) {
        for (const QList<ProfileFile::Edit>& edits : {plain, mixed}) {
            Put(file);
            for (const ProfileFile::Edit& edit : edits)
                ProfileFile::Write(Path(), edit.section, edit.key, edit.value);
            const QByteArray oneByOne = Contents();
            Put(file);
            ASSERT_TRUE(ProfileFile::WriteAll(Path(), edits));
            EXPECT_EQ(Contents(), oneByOne) << file.toStdString() << " " << edits.size();
        }
    }
}

TEST_F(ProfileFileTest, CreatesTheFileWithCodePage932Text)
{
    ASSERT_TRUE(Write("日本", "名前", QStringLiteral("致命的なエラー(嘘)")));
    ASSERT_TRUE(Write("日本", "Plain", QString()));
    EXPECT_EQ(Contents(), QByteArray("[\x93\xfa\x96\x7b]\r\n"
                                     "\x96\xbc\x91\x4f=\x92\x76\x96\xbd\x93\x49\x82\xc8\x83\x47"
                                     "\x83\x89\x81\x5b(\x89\x52)\r\n"
                                     "Plain=\r\n"));
    EXPECT_EQ(Read("日本", "名前"), QStringLiteral("致命的なエラー(嘘)"));
    EXPECT_EQ(Read("日本", "plain"), QString());
}

TEST_F(ProfileFileTest, RewriteKeepsTheFilePermissions)
{
    Put("[A]\r\nk=1\r\n");
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(Path(), mode));
    ASSERT_TRUE(Write("A", "k", QStringLiteral("2")));
    const auto ownerGroupOther = QFileDevice::Permissions::fromInt(0x7077); // not the "user" bits
    EXPECT_EQ(QFile::permissions(Path()) & ownerGroupOther, mode);

    ASSERT_TRUE(ProfileFile::Write(Path(QStringLiteral("new.ini")), QStringLiteral("A"),
                                   QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(QFile::permissions(Path(QStringLiteral("new.ini"))) & QFile::ReadGroup)
        << "a new file gets the usual mode, not a private temporary one";
}

TEST_F(ProfileFileTest, WriteToAMissingFolderOrADirectoryFails)
{
    EXPECT_FALSE(ProfileFile::Write(dir_.filePath(QStringLiteral("no/such/dir.ini")),
                                    QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("no"))));

    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.ini")));
    EXPECT_FALSE(ProfileFile::Write(dir_.filePath(QStringLiteral("folder.ini")),
                                    QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_TRUE(QFileInfo(dir_.filePath(QStringLiteral("folder.ini"))).isDir());
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList()); // no stray temp file
}

TEST_F(ProfileFileTest, WriteIntoReadOnlyFolderFailsAndLeavesTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const QByteArray before = "[A]\r\nk=old\r\n";
    Put(before);
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(Write("A", "k", QStringLiteral("new")));
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(Contents(), before);
}

} // namespace
} // namespace wibblet
