// Start-up against settings files a user, an editor or a full disk could
// leave behind: it always completes, takes the defaults where nothing usable
// was read, and the write-back never destroys what the user had in the file.
#include "kit/LanProgram.h"
#include "platform/Cp932.h"
#include "settings/Settings.h"
#include "support/Wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace wibblet;
using test::LanProgram;

namespace {

QList<QByteArray> Lines(const QByteArray& data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const qsizetype next = end < 0 ? data.size() : end + 1;
        if (end < 0)
            end = data.size();
        else if (end > start && data[end - 1] == '\r')
            --end;
        lines.append(data.mid(start, end - start));
        start = next;
    }
    return lines;
}

// Every line of before is still in after, unchanged and in order; the
// write-back may only add lines (or replace the values it owns, which these
// files do not hold in a readable form).
bool LinesKept(const QByteArray& before, const QByteArray& after)
{
    const QList<QByteArray> kept = Lines(after);
    qsizetype j = 0;
    for (const QByteArray& line : Lines(before)) {
        while (j < kept.size() && kept[j] != line)
            ++j;
        if (j++ == kept.size())
            return false;
    }
    return true;
}

// Bytes of a literal, embedded NULs included.
template <qsizetype N> QByteArray Raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QByteArray Garbage(qsizetype size)
{
    QRandomGenerator random(20260203);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// Sets or clears the immutable attribute, which stops even root from writing.
bool SetImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

struct HostileSettingsTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<LanProgram> me = std::make_unique<LanProgram>(
        lan, dir.path(), QStringLiteral("ME"), QStringLiteral("10.0.0.1"));
    QStringList lockedDown;

    void TearDown() override
    {
        me.reset();
        for (const QString& path : std::as_const(lockedDown)) {
            if (::geteuid() == 0)
                SetImmutable(path, false);
            else
                QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ExeOwner);
        }
    }

    QString Path() const { return me->SettingsPath(); }
    QByteArray Bytes() const
    {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void Write(const QByteArray& bytes)
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // Makes path unwritable: read-only bits for a user, the immutable
    // attribute for root (which ignores the bits). False where neither works.
    bool MakeReadOnly(const QString& path, QFileDevice::Permissions readOnly)
    {
        const bool done =
            ::geteuid() == 0 ? SetImmutable(path, true) : QFile::setPermissions(path, readOnly);
        if (done)
            lockedDown.append(path);
        return done;
    }

    // Starts the program; it must come up whole, whatever the file held.
    void StartAndExpectRunning(qint64* elapsedMs = nullptr)
    {
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(me->main.Form_Load());
        if (elapsedMs)
            *elapsedMs = timer.elapsed();
        EXPECT_EQ(me->ended, 0);
        EXPECT_TRUE(me->tray.Shown());
        EXPECT_TRUE(me->socket->IsBound());
        EXPECT_TRUE(me->boxes.shown.isEmpty());
        EXPECT_FALSE(me->main.program().settings.USER_NAME.isEmpty());
    }

    void ExpectDefaults()
    {
        const Settings& s = me->main.program().settings;
        EXPECT_EQ(s.DEF_TITLE, Settings::DefaultTitle());
        EXPECT_EQ(s.DEF_OK, Settings::DefaultOk());
        EXPECT_EQ(s.ERR_CNT, 0);
        EXPECT_EQ(s.ERR_EXE, QStringList{Settings::DefaultErrExe()});
        EXPECT_EQ(s.USER_NAME, QStringLiteral("ME"));
        EXPECT_FALSE(Settings::IsOn(s.SECRET_OK));
        EXPECT_EQ(me->socket->LocalPort(), 1001);
    }
};

} // namespace

TEST_F(HostileSettingsTest, UnreadableFilesGiveTheDefaultsAndKeepEveryByte)
{
    QByteArray utf16;
    for (const QChar c :
         QStringLiteral("[DEFAULT]\r\nDEF_TITLE=題\r\n[BSC_CFG]\r\nUSER_NAME=花子\r\n"))
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"binary garbage", Garbage(256 * 1024)},
        {"NUL bytes only", QByteArray(4096, '\0')},
        {"an empty file", QByteArray()},
        {"keys without sections",
         "DEF_TITLE=orphan\r\nERR_CNT=3\r\nUSER_NAME=orphan\r\nIP_MSG=1\r\n"},
        {"sections without keys", "[DEFAULT]\r\n[ERROR]\r\n\r\n[BSC_CFG]"},
        {"saved as UTF-16", "\xFF\xFE" + utf16},
        {"saved as UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF[BSC_CFG]\r\nUSER_NAME=" + QStringLiteral("花子").toUtf8() + "\r\n"},
        {"line ends without line feeds", "[DEFAULT]\rDEF_TITLE=x\r[BSC_CFG]\rUSER_NAME=y\r"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        me.reset(); // frees the port and the single-copy lock
        me = std::make_unique<LanProgram>(lan, dir.path(), QStringLiteral("ME"),
                                          QStringLiteral("10.0.0.1"));
        Write(file.bytes);
        StartAndExpectRunning();
        ExpectDefaults();
        const QByteArray after = Bytes();
        EXPECT_TRUE(after.startsWith(file.bytes) || LinesKept(file.bytes, after));
        EXPECT_GT(after.size(), file.bytes.size());
    }
}

TEST_F(HostileSettingsTest, UsableValuesAmongGarbageAreTakenAndTheGarbageKept)
{
    const QByteArray before = Raw("\x81\x00\xff junk =\r\n")
                              + Cp932::Encode(QStringLiteral("[DEFAULT]\r\nDEF_TITLE=使える題\r\n"))
                              + "\x82=\xfe\xfd\r\n\r\n[BSC_CFG]\r\nIP_MSG=yes\r\nUSER_NAME="
                              + Cp932::Encode(QStringLiteral("花子"))
                              + "\r\n[ERROR]\r\nERR_CNT=-4\r\n";
    Write(before);
    StartAndExpectRunning();
    const Settings& s = me->main.program().settings;
    EXPECT_EQ(s.DEF_TITLE, QStringLiteral("使える題"));
    EXPECT_EQ(s.DEF_OK, Settings::DefaultOk());
    EXPECT_EQ(s.USER_NAME, QStringLiteral("花子"));
    EXPECT_EQ(s.ERR_CNT, 0);
    EXPECT_EQ(me->socket->LocalPort(), 1001); // "yes" is not the switch's "1"
    // ERR_CNT=-4 is the program's own value and is written back as 0; every
    // other line stays.
    QByteArray expected = before;
    expected.replace("ERR_CNT=-4", "ERR_CNT=0");
    EXPECT_TRUE(LinesKept(expected, Bytes()));
}

TEST_F(HostileSettingsTest, FiftyMegabyteFileIsReadAndKeptWhole)
{
    QByteArray before =
        Cp932::Encode(QStringLiteral("[DEFAULT]\r\nDEF_TITLE=最初の題\r\n[NOTES]\r\n"));
    const QByteArray line = "; " + QByteArray(60, 'n') + "\r\n";
    before.reserve(51 * 1024 * 1024);
    while (before.size() < 25 * 1024 * 1024)
        before += line;
    // One line of 25 MB in a section the program does not own.
    before += "MEMO=" + QByteArray(25 * 1024 * 1024, 'm') + "\r\n";
    before += Cp932::Encode(QStringLiteral("[BSC_CFG]\r\nUSER_NAME=花子\r\n"));
    Write(before);

    qint64 ms = 0;
    StartAndExpectRunning(&ms);
    std::printf("start-up with a %lld MB settings file: %lld ms\n",
                static_cast<long long>(before.size() >> 20), static_cast<long long>(ms));
    const Settings& s = me->main.program().settings;
    EXPECT_EQ(s.DEF_TITLE, QStringLiteral("最初の題"));
    EXPECT_EQ(s.USER_NAME, QStringLiteral("花子"));
    EXPECT_TRUE(LinesKept(before, Bytes()));
}

// The entry broadcast at start-up goes to every listed subnet. The list is
// read from the file; how long that takes grows with the list, so the time is
// printed (WIBBLET_HOSTILE_LIST sets the length; 100000 for the worst case).
TEST_F(HostileSettingsTest, LongBroadcastListIsAnnouncedToEverySubnet)
{
    const auto Subnet = [](int i) {
        return QStringLiteral("%1.%2.%3.255").arg(10 + (i >> 16)).arg((i >> 8) & 255).arg(i & 255);
    };
    const int count = qEnvironmentVariableIsSet("WIBBLET_HOSTILE_LIST")
                          ? qEnvironmentVariableIntValue("WIBBLET_HOSTILE_LIST")
                          : 5000;
    QByteArray before = "[BRD_CAST]\r\nBRC_CNT=" + QByteArray::number(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        before += "BRC_IP_" + QByteArray::number(i) + '=' + Subnet(i).toLatin1() + "\r\n";
    Write(before);

    qint64 ms = 0;
    StartAndExpectRunning(&ms);
    std::printf("start-up with %d listed subnets: %lld ms\n", count, static_cast<long long>(ms));
    // Own subnet, every listed one, own subnet again.
    ASSERT_EQ(lan.Sent().size(), count + 2);
    EXPECT_EQ(lan.Sent()[2].toHost, Subnet(1));
    EXPECT_EQ(lan.Sent()[count].toHost, Subnet(count - 1));
    EXPECT_TRUE(Bytes().startsWith(before));
}

TEST_F(HostileSettingsTest, ReadOnlyFileIsReadAndLeftAlone)
{
    const QByteArray before = Cp932::Encode(QStringLiteral(
        "[DEFAULT]\r\nDEF_TITLE=読むだけ\r\n[BSC_CFG]\r\nUSER_NAME=花子\r\nSECRET_OK=1\r\n"));
    Write(before);
    if (!MakeReadOnly(Path(),
                      QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther))
        GTEST_SKIP() << "this file system cannot make a file read-only for root";
    StartAndExpectRunning();
    const Settings& s = me->main.program().settings;
    EXPECT_EQ(s.DEF_TITLE, QStringLiteral("読むだけ"));
    EXPECT_EQ(s.USER_NAME, QStringLiteral("花子"));
    EXPECT_TRUE(Settings::IsOn(s.SECRET_OK));
    EXPECT_EQ(Bytes(), before);
}

TEST_F(HostileSettingsTest, ReadOnlyFolderKeepsTheFileAsItWas)
{
    const QByteArray before = Cp932::Encode(QStringLiteral("[BSC_CFG]\r\nUSER_NAME=花子\r\n"));
    Write(before);
    const QString folder = QFileInfo(Path()).absolutePath();
    if (!MakeReadOnly(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        GTEST_SKIP() << "this file system cannot make a folder read-only for root";
    StartAndExpectRunning();
    EXPECT_EQ(me->main.program().settings.USER_NAME, QStringLiteral("花子"));
    EXPECT_EQ(me->main.program().settings.DEF_TITLE, Settings::DefaultTitle());
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2); // program + settings
}

TEST_F(HostileSettingsTest, FolderInPlaceOfTheFileIsLeftAlone)
{
    ASSERT_TRUE(QDir().mkpath(Path()));
    QFile inside(QDir(Path()).filePath(QStringLiteral("keep.txt")));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.write("mine");
    inside.close();

    StartAndExpectRunning();
    ExpectDefaults();
    EXPECT_TRUE(QFileInfo(Path()).isDir());
    ASSERT_TRUE(inside.open(QIODevice::ReadOnly));
    EXPECT_EQ(inside.readAll(), QByteArray("mine"));
}

// A multi-line text pasted into the user-name field must not turn into lines
// of the settings file (here: switching the emulation mode on).
TEST_F(HostileSettingsTest, PastedMultiLineUserNameAddsNoLines)
{
    StartAndExpectRunning();
    const QByteArray before = Bytes();
    me->main.show();
    QApplication::setActiveWindow(&me->main);
    auto* userName = me->main.findChild<QLineEdit*>(QStringLiteral("txtUserName"));
    auto* host = me->main.findChild<QLineEdit*>(QStringLiteral("txtUser"));
    userName->setFocus();
    userName->setText(QStringLiteral("taro\r\n[BSC_CFG]\r\nIP_MSG=1"));
    host->setFocus();
    ASSERT_TRUE(test::WaitUntil(
        [&] { return me->main.program().settings.USER_NAME.startsWith(QStringLiteral("taro")); }));
    test::RunEventsFor(20);
    EXPECT_TRUE(Bytes() == before) << Bytes().toStdString();

    me.reset();
    me = std::make_unique<LanProgram>(lan, dir.path(), QStringLiteral("ME"),
                                      QStringLiteral("10.0.0.1"));
    StartAndExpectRunning();
    EXPECT_EQ(me->socket->LocalPort(), 1001);
    EXPECT_EQ(me->main.program().settings.USER_NAME, QStringLiteral("ME"));
}
