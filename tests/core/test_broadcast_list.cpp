#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "platform/ProfileFile.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace wibblet;

namespace {

const QString kBrd = QStringLiteral("BRD_CAST");
const QString kMissing = QStringLiteral("<missing>");

struct BroadcastListTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("192.168.10.7"));
    std::unique_ptr<VirtualSocket> peer =
        lan.CreateSocket(QStringLiteral("PC02"), QStringLiteral("10.1.2.3"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    Program p{*socket, boxes, clock};

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(socket->Bind(1001), 0);
        p.settings.path = dir.filePath(QStringLiteral("x.ini"));
        p.port = 1001;
        p.messageCode = QStringLiteral("000000020");
        p.userNameText = QStringLiteral("taro");
        InitBrdAddr(p);
    }

    void Put(const QString& key, const QString& value) { p.settings.PutIni(kBrd, key, value); }
    QString Get(const QString& key) const { return p.settings.GetIni(kBrd, key, kMissing); }

    QStringList Targets() const
    {
        QStringList hosts;
        for (const auto& d : lan.Sent())
            hosts << d.toHost;
        return hosts;
    }
};

} // namespace

TEST_F(BroadcastListTest, MakeBrdAddrReplacesTheLastGroupOfUpToThreeCharacters)
{
    const struct {
        const char* address;
        const char* broadcast;
    } table[] = {
        {"192.168.10.7", "192.168.10.255"},
        {"10.0.0.100", "10.0.0.255"},
        {"172.16.5.200", "172.16.5.255"},
        {"1", "255"},
        {"", "255"},
        {"fe80::1", "255"},
        {"PC01", "255"},
        {"my.pc", "my.255"},
        {"host.name", "255"},
        {"1.2.3.", "1.2.255"},
    };
    for (const auto& row : table)
        EXPECT_EQ(MakeBrdAddr(QString::fromLatin1(row.address)), QString::fromLatin1(row.broadcast))
            << row.address;
    EXPECT_EQ(p.ownBroadcast, QStringLiteral("192.168.10.255"));
}

TEST_F(BroadcastListTest, AddBrdListAppendsNewForeignSubnetsOnly)
{
    const struct {
        const char* sender;
        const char* count; // BRC_CNT afterwards
    } steps[] = {
        {"192.168.10.20", "<missing>"}, // own subnet
        {"10.1.2.3", "1"},
        {"10.1.2.99", "1"},
        {"10.1.3.4", "2"},
        {"10.1.2.255", "2"},
        {"10.01.2.3", "3"}, // exact text, no numeric normalisation
    };
    for (const auto& step : steps) {
        AddBrdList(p.settings, p.ownBroadcast, QString::fromLatin1(step.sender));
        EXPECT_EQ(Get(QStringLiteral("BRC_CNT")), QString::fromLatin1(step.count)) << step.sender;
    }
    EXPECT_EQ(ReadBrdList(p.settings), QStringList({"10.1.2.255", "10.1.3.255", "10.01.2.255"}));
    EXPECT_EQ(Get(QStringLiteral("BRC_IP_3")), kMissing);
}

TEST_F(BroadcastListTest, DamagedCountIsAnEmptyListAndAnAdditionLandsAtIndexZero)
{
    for (const QString& count :
         {QString(), QStringLiteral("-3"), QStringLiteral("abc"), QStringLiteral("")}) {
        QFile::remove(p.settings.path);
        if (!count.isNull())
            Put(QStringLiteral("BRC_CNT"), count);
        Put(QStringLiteral("BRC_IP_0"), QStringLiteral("10.9.9.255"));
        EXPECT_TRUE(ReadBrdList(p.settings).isEmpty()) << count.toStdString();

        // The stored entry is not searched: the same subnet is written again.
        AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.9.9.1"));
        EXPECT_EQ(Get(QStringLiteral("BRC_CNT")), QStringLiteral("1")) << count.toStdString();
        EXPECT_EQ(ReadBrdList(p.settings), QStringList{"10.9.9.255"});
        AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.8.8.1"));
        EXPECT_EQ(ReadBrdList(p.settings), QStringList({"10.9.9.255", "10.8.8.255"}));
    }
}

TEST_F(BroadcastListTest, PresenceBroadcastsGoOwnListedOwnWithOnePacketNumber)
{
    // Index 1 and 4 missing, 3 is the own subnet again, 5 a name that does
    // not resolve, 6 a resolvable name (names are skipped unread: no look-up
    // may hold a broadcast up); the count runs past the stored keys.
    const QStringList stored{"10.1.2.255", "",       "10.1.3.255", "192.168.10.255",
                             "",           "nohost", "PC02"};
    Put(QStringLiteral("BRC_CNT"), QStringLiteral("9"));
    for (int i = 0; i < stored.size(); ++i) {
        if (!stored[i].isEmpty())
            Put(QStringLiteral("BRC_IP_%1").arg(i), stored[i]);
    }
    const QString nul(1, QChar(u'\0'));
    const struct {
        std::function<void(Program&)> send;
        const char* command;
        int nuls;
    } table[] = {
        {SendEntry, "1", 4},
        {SendExit, "2", 1},
        {[](Program& q) { SendAbsence(q, 260); }, "260", 4},
        {[](Program& q) { SendAbsence(q, 4); }, "4", 4},
    };
    for (const auto& row : table) {
        lan.ClearSent();
        p.packetNo = 41;
        row.send(p);
        EXPECT_EQ(Targets(), QStringList({"192.168.10.255", "10.1.2.255", "10.1.3.255",
                                          "192.168.10.255", "192.168.10.255"}))
            << row.command;
        const QString expected =
            QStringLiteral("1:42:taro:PC01:%1:").arg(QLatin1String(row.command))
            + nul.repeated(row.nuls);
        for (const auto& d : lan.Sent()) {
            EXPECT_EQ(Cp932::Decode(d.bytes), expected);
            EXPECT_EQ(d.toPort, 1001);
        }
        EXPECT_EQ(MakePkt(p, 2), QStringLiteral("1:43:taro:PC01:2:")) << row.command;
    }
}

TEST_F(BroadcastListTest, WithoutAListTheOwnSubnetHearsItTwice)
{
    SendEntry(p);
    EXPECT_EQ(Targets(), QStringList({"192.168.10.255", "192.168.10.255"}));
    EXPECT_EQ(lan.Sent()[0].bytes, lan.Sent()[1].bytes);
    EXPECT_EQ(p.packetNo, 1);
}

TEST_F(BroadcastListTest, SendAnsEntryAnswersOnceInEachCodeSet)
{
    SendAnsEntry(p, QString());
    SendAnsEntry(p, QStringLiteral(""));
    EXPECT_TRUE(lan.Sent().isEmpty());
    EXPECT_EQ(p.packetNo, 0);

    SendAnsEntry(p, QStringLiteral("10.1.2.3"));
    ASSERT_EQ(lan.Sent().size(), 2);
    const QString nul(1, QChar(u'\0'));
    EXPECT_EQ(Cp932::Decode(lan.Sent()[0].bytes), QStringLiteral("1:1:taro:PC01:3:") + nul);
    EXPECT_EQ(Cp932::Decode(lan.Sent()[1].bytes), QStringLiteral("1:2:taro:PC01:6291459:") + nul);
    EXPECT_EQ(Targets(), QStringList({"10.1.2.3", "10.1.2.3"}));
    EXPECT_EQ(socket->RemoteHost(), QStringLiteral("10.1.2.3"));

    // Unlike a broadcast, an answer reports its failed send to the caller.
    try {
        SendAnsEntry(p, QStringLiteral("nohost"));
        ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Number(), 11001);
    }
}

TEST_F(BroadcastListTest, LearnsAtMost64SubnetsButUsesEveryEntryWrittenByHand)
{
    QStringList learned;
    for (int i = 0; i < 100; ++i) {
        AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.7.%1.1").arg(i));
        if (i < MaxLearnedSubnets)
            learned << QStringLiteral("10.7.%1.255").arg(i);
    }
    EXPECT_EQ(Get(QStringLiteral("BRC_CNT")), QStringLiteral("64"));
    EXPECT_EQ(ReadBrdList(p.settings), learned);

    // A longer list written by hand is kept whole and used whole.
    QFile::remove(p.settings.path);
    QList<ProfileFile::Edit> list{{kBrd, QStringLiteral("BRC_CNT"), QStringLiteral("70")}};
    for (int i = 0; i < 70; ++i)
        list.append(
            {kBrd, QStringLiteral("BRC_IP_%1").arg(i), QStringLiteral("10.8.%1.255").arg(i)});
    p.settings.PutAll(list);
    AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.9.9.1"));
    EXPECT_EQ(Get(QStringLiteral("BRC_CNT")), QStringLiteral("70"));
    EXPECT_EQ(Get(QStringLiteral("BRC_IP_70")), kMissing);
    SendEntry(p);
    ASSERT_EQ(Targets().size(), 72);
    EXPECT_EQ(Targets()[70], QStringLiteral("10.8.69.255"));
}

TEST_F(BroadcastListTest, OnlyDottedEntriesPresentBelowTheCountAreSentHoweverLargeTheCount)
{
    const QStringList entries{"10.1.2", "10.1.2.3.4", "010.1.2.255", "10.1.2.256", "1e1.1.1.255",
                              "PC02",   "",           "10.1.3.255"};
    QList<ProfileFile::Edit> list{{kBrd, QStringLiteral("BRC_CNT"), QStringLiteral("16777216")},
                                  {kBrd, QStringLiteral("BRC_IP_16777215"), "10.1.2.255"},
                                  {kBrd, QStringLiteral("BRC_IP_16777216"), "10.1.4.255"}};
    for (int i = 0; i < entries.size(); ++i)
        list.append({kBrd, QStringLiteral("BRC_IP_%1").arg(i * 1000), entries[i]});
    p.settings.PutAll(list);

    QElapsedTimer timer;
    timer.start();
    SendEntry(p);
    EXPECT_LT(timer.elapsed(), 1000) << "work must follow the entries, not the count";
    EXPECT_EQ(Targets(),
              QStringList({"192.168.10.255", "10.1.3.255", "10.1.2.255", "192.168.10.255"}));
}

TEST_F(BroadcastListTest, SubnetsTheFileCannotRecordAreListedInMemoryOnce)
{
    const QString folder = dir.filePath(QStringLiteral("gone"));
    p.settings.path = folder + QStringLiteral("/x.ini");
    AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.1.2.3"));
    AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.1.3.3"));
    EXPECT_EQ(ReadBrdList(p.settings), QStringList({"10.1.2.255", "10.1.3.255"}));

    // Not tried again for the same subnet, even once it could be.
    ASSERT_TRUE(QDir().mkpath(folder));
    AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.1.2.4"));
    EXPECT_FALSE(QFile::exists(p.settings.path));
    ASSERT_TRUE(QDir(folder).removeRecursively());

    // Bounded like the file's list, and heard by every broadcast.
    for (int i = 0; i < 100; ++i)
        AddBrdList(p.settings, p.ownBroadcast, QStringLiteral("10.9.%1.1").arg(i));
    EXPECT_EQ(ReadBrdList(p.settings).size(), MaxLearnedSubnets);
    SendEntry(p);
    EXPECT_EQ(Targets().size(), MaxLearnedSubnets + 2);
    EXPECT_EQ(Targets()[1], QStringLiteral("10.1.2.255"));
}
