#include "platform/Cp932.h"
#include "settings/Settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wibblet;

namespace {

struct SettingsTest : ::testing::Test {
    QTemporaryDir dir;
    Settings settings;

    void SetUp() override { settings.path = dir.filePath(QStringLiteral("wibblet.ini")); }

    void WriteFile(const QString& text)
    {
        QFile f(settings.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Cp932::Encode(text));
    }
    QString ReadFile()
    {
        QFile f(settings.path);
        return f.open(QIODevice::ReadOnly) ? Cp932::Decode(f.readAll()) : QString();
    }
};

} // namespace

TEST_F(SettingsTest, FirstStartWritesEveryDefaultInOrder)
{
    settings.Read();
    EXPECT_EQ(settings.DEF_TITLE, QStringLiteral("致命的なエラー(嘘)"));
    EXPECT_EQ(settings.DEF_OK, QStringLiteral("確認"));
    EXPECT_EQ(settings.ERR_CNT, 0);
    EXPECT_EQ(settings.ERR_EXE, QStringList{QStringLiteral("EXPLORER.EXE")});
    EXPECT_TRUE(settings.USER_NAME.isEmpty());
    settings.WriteBack();
    EXPECT_EQ(ReadFile(),
              QStringLiteral("[DEFAULT]\r\nDEF_TITLE=致命的なエラー(嘘)\r\nDEF_OK=確認\r\n"
                             "[ERROR]\r\nERR_CNT=0\r\nERR_EXE_0=EXPLORER.EXE\r\n"
                             "[BSC_CFG]\r\nSECRET_OK=\r\nIP_MSG=\r\n"));
}

TEST_F(SettingsTest, ErrCntIsRoundedToEvenAndWrittenBackAsRead)
{
    const struct {
        const char* stored;
        qint32 read;
    } cases[] = {{"2.6", 3},
                 {"2.5", 2},
                 {"3.5", 4},
                 {" 2 ", 2},
                 {"0", 0},
                 // Counts that cannot size a list start with one name.
                 {"-1", 0},
                 {"abc", 0},
                 {"", 0},
                 {"10000", 0},
                 {"99999999999", 0},
                 {"9999", 9999}};
    for (const auto& c : cases) {
        WriteFile(QStringLiteral("[ERROR]\r\nERR_CNT=") + QString::fromLatin1(c.stored)
                  + QStringLiteral("\r\n"));
        settings.Read();
        EXPECT_EQ(settings.ERR_CNT, c.read) << c.stored;
        EXPECT_EQ(settings.ERR_EXE.size(), c.read + 1) << c.stored;
    }
    WriteFile(
        QStringLiteral("[ERROR]\r\nERR_CNT=2.6\r\nERR_EXE_1=CALC.EXE\r\nERR_EXE_7=KEPT.EXE\r\n"));
    settings.Read();
    settings.WriteBack();
    EXPECT_EQ(settings.GetIni(QStringLiteral("ERROR"), QStringLiteral("ERR_CNT"), QString()),
              QStringLiteral("3"));
    EXPECT_EQ(settings.ERR_EXE,
              (QStringList{QStringLiteral("EXPLORER.EXE"), QStringLiteral("CALC.EXE"),
                           QStringLiteral("EXPLORER.EXE"), QStringLiteral("EXPLORER.EXE")}));
    // Names past the count are neither read nor removed.
    EXPECT_EQ(settings.GetIni(QStringLiteral("ERROR"), QStringLiteral("ERR_EXE_7"), QString()),
              QStringLiteral("KEPT.EXE"));
    EXPECT_EQ(settings.GetIni(QStringLiteral("ERROR"), QStringLiteral("ERR_EXE_3"), QString()),
              QStringLiteral("EXPLORER.EXE"));
}

TEST_F(SettingsTest, WriteBackOfTheLongestNameListIsOneQuickWrite)
{
    WriteFile(QStringLiteral("[ERROR]\r\nERR_CNT=9999\r\n"));
    settings.Read();
    QElapsedTimer timer;
    timer.start();
    settings.WriteBack();
    EXPECT_LT(timer.elapsed(), 2000);
    QString expected = QStringLiteral("[ERROR]\r\nERR_CNT=9999\r\n");
    for (int i = 0; i <= 9999; ++i)
        expected += QStringLiteral("ERR_EXE_%1=EXPLORER.EXE\r\n").arg(i);
    expected += QStringLiteral("[DEFAULT]\r\nDEF_TITLE=致命的なエラー(嘘)\r\nDEF_OK=確認\r\n"
                               "[BSC_CFG]\r\nSECRET_OK=\r\nIP_MSG=\r\n");
    EXPECT_TRUE(ReadFile() == expected);
}

TEST_F(SettingsTest, EmptyValuesAreNotMissingAndSwitchesAreOnOnlyAtOne)
{
    WriteFile(QStringLiteral(
        "[default]\r\ndef_title=\r\n[BSC_CFG]\r\nSECRET_OK=0\r\nIP_MSG=1\r\nUSER_NAME=花子\r\n"));
    settings.Read();
    EXPECT_EQ(settings.DEF_TITLE, QString());
    EXPECT_EQ(settings.DEF_OK, QStringLiteral("確認"));
    EXPECT_EQ(settings.USER_NAME, QStringLiteral("花子"));
    for (const char* off : {"0", "11", "on", "", " 1", "１"})
        EXPECT_FALSE(Settings::IsOn(QString::fromUtf8(off))) << off;
    EXPECT_TRUE(Settings::IsOn(settings.IP_MSG));
}

TEST(SettingsUtilities, LenAnsiCountsCodePage932Bytes)
{
    EXPECT_EQ(LenAnsi(QStringLiteral("abc")), 3);
    EXPECT_EQ(LenAnsi(QStringLiteral("あいう")), 6);
    EXPECT_EQ(LenAnsi(QStringLiteral("ｱｲｳ")), 3); // half-width katakana are single bytes
    EXPECT_EQ(LenAnsi(QString()), 0);
    EXPECT_EQ(LenAnsi(QStringLiteral("")), 0);
}

TEST(SettingsUtilities, NzValTurnsEmptyIntoZero)
{
    EXPECT_EQ(NzVal(QString()), QStringLiteral("0"));
    EXPECT_EQ(NzVal(QStringLiteral("")), QStringLiteral("0"));
    EXPECT_EQ(NzVal(QStringLiteral("17")), QStringLiteral("17"));
    EXPECT_EQ(NzVal(QStringLiteral(" ")), QStringLiteral(" "));
}
