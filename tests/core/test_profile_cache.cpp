// The settings file kept in memory: it must answer exactly as reading the
// file does, see every change made on disk, and stay in step with writes.
#include "platform/Cp932.h"
#include "platform/ProfileCache.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace wibblet;

namespace {

class ProfileCacheTest : public ::testing::Test {
protected:
    QString Path() const { return dir_.filePath(QStringLiteral("wibblet.ini")); }

    // Rewrites the file in place (same inode), as an editor saving over it may.
    void Put(const QByteArray& bytes) const
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QString Read(const QString& section, const QString& key)
    {
        return cache_.Read(Path(), section, key, QStringLiteral("<default>"));
    }

    // Past the window in which a change may leave the file's times alone.
    static void Settle() { QThread::msleep(80); }

    QTemporaryDir dir_;
    ProfileCache cache_;
};

} // namespace

TEST_F(ProfileCacheTest, AnswersExactlyAsReadingTheFile)
{
    const QByteArray files[] = {
        "top=before any section\r\n[Main]\r\nName=Alice\r\nEmpty=\r\n  Spaced \t=  two words \t\r\n"
        "NoEquals\r\nEq=a=b\r\n\r\n  [ Other ]  \nname=lf only\n[main]\nName=second section\n"
        "name=second key\n[Main\nopen=unclosed\n",
        "[A]\r\nk=1\r\n[a]\r\nK=2\r\nk=3\r\n[B]\r\n=no name\r\nlast=no line end",
        Cp932::Encode(QStringLiteral("[日本語]\r\nキー=値\r\nｶﾅ=半角\r\n[ＡＢ]\r\nx=全角\r\n")),
        "[Long]\r\nv=" + QByteArray(1500, 'x') + "\r\nw=" + QByteArray(1022, 'y')
            + Cp932::Encode(QStringLiteral("あ")) + "\r\n",
        "",
    };
    const char* sections[] = {"Main", "MAIN",    "main",   " Main ", "Other", "A",       "a", "B",
                              "Long", "Missing", "日本語", "ＡＢ",   "ａｂ",  "Main\nx", ""};
    const char* keys[] = {"Name", "name", "NAME", "Empty", "Spaced", "Eq",     "NoEquals",
                          "open", "top",  "k",    "K",     "",       "last",   "v",
                          "w",    "キー", "ｶﾅ",   "x",     "X",      "missing"};
    for (const QByteArray& contents : files) {
        Put(contents);
        for (const char* section : sections) {
            for (const char* key : keys) {
                const QString s = QString::fromUtf8(section);
                const QString k = QString::fromUtf8(key);
                ASSERT_EQ(Read(s, k), ProfileFile::Read(Path(), s, k, QStringLiteral("<default>")))
                    << "[" << section << "] " << key << " in " << contents.left(40).toStdString();
            }
        }
    }
}

TEST_F(ProfileCacheTest, SeesEveryChangeOnDiskAndParsesOnlyThen)
{
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("<default>"));
    Put("[S]\r\nk=one\r\n");
    // At once, without waiting: same size edits too.
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("one"));
    Put("[S]\r\nk=two\r\n");
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("two"));

    Settle();
    const int loads = cache_.Loads();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("two"));
    EXPECT_EQ(cache_.Loads(), loads);

    // Edited in place, same size, long after the last read.
    Put("[S]\r\nk=TWO\r\n");
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("TWO"));
    Settle();
    // Replaced by another file.
    const QString other = dir_.filePath(QStringLiteral("other.ini"));
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[S]\r\nk=new\r\n");
    }
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(Path()).constData()),
              0);
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("new"));
    // Removed.
    QFile::remove(Path());
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("<default>"));
}

TEST_F(ProfileCacheTest, WritesGoToDiskAtomicallyAndIntoTheCache)
{
    Put("[S]\r\nk=one\r\nkeep=me\r\n");
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("one"));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &before), 0);

    ASSERT_TRUE(
        cache_.Write(Path(), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("two")));
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("two"));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[S]\r\nk=two\r\nkeep=me\r\n"));
    // A new file took the old one's place: a reader never sees half of it.
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);

    // Writing what is there already leaves the file alone.
    Settle();
    ASSERT_TRUE(
        cache_.Write(Path(), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("two")));
    struct stat same {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &same), 0);
    EXPECT_EQ(same.st_ino, after.st_ino);
    EXPECT_EQ(same.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

    // A hand edit made before a write is kept by it.
    Put("[S]\r\nk=two\r\nhand=edit\r\n");
    ASSERT_TRUE(
        cache_.Write(Path(), QStringLiteral("S"), QStringLiteral("n"), QStringLiteral("3")));
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("hand")), QStringLiteral("edit"));
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("n")), QStringLiteral("3"));

    // A write that fails leaves the cache reading the disk.
    EXPECT_FALSE(cache_.Write(dir_.filePath(QStringLiteral("no/such/dir.ini")), QStringLiteral("S"),
                              QStringLiteral("k"), QStringLiteral("x")));
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("two"));
}

TEST_F(ProfileCacheTest, UpdateDecidesAgainWhenTheFileIsSavedUnderIt)
{
    Put("[S]\r\nn=1\r\n");
    int rounds = 0;
    ASSERT_TRUE(cache_.Update(Path(), [&](const ProfileSnapshot& file) {
        // A user saves the file after it was read for this round.
        if (++rounds == 1)
            Put("[S]\r\nn=1\r\nhand=edit\r\n");
        const int n = file.Value(QStringLiteral("S"), QStringLiteral("n"), {}).toInt();
        return QList<ProfileFile::Edit>{{"S", "n", QString::number(n + 1)}};
    }));
    EXPECT_EQ(rounds, 2);
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("n")), QStringLiteral("2"));
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("hand")), QStringLiteral("edit"));

    // A file saved again every round is given up on, as the last save left it.
    int saves = 0;
    EXPECT_FALSE(cache_.Update(Path(), [&](const ProfileSnapshot&) {
        Put("[S]\r\nsave=" + QByteArray::number(++saves) + "\r\n");
        return QList<ProfileFile::Edit>{{"S", "k", "v"}};
    }));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[S]\r\nsave=" + QByteArray::number(saves) + "\r\n");
    EXPECT_EQ(Read(QStringLiteral("S"), QStringLiteral("save")), QString::number(saves));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"wibblet.ini"});
}
