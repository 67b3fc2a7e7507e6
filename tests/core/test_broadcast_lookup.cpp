// AddBrdList finds a subnet by value in the kept settings file instead of
// reading every entry; whatever the file holds, it must decide exactly as
// reading entries 0 … BRC_CNT-1 one by one does.
#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wibblet;

namespace {

// What a scan of the listed entries says.
bool Listed(const Program& p, const QString& broadcast)
{
    const QString section = QStringLiteral("BRD_CAST");
    bool ok = false;
    const int count =
        p.settings.GetIni(section, QStringLiteral("BRC_CNT"), QStringLiteral("0")).toInt(&ok);
    for (int i = 0; ok && i < count; ++i) {
        if (p.settings.GetIni(section, QStringLiteral("BRC_IP_%1").arg(i), QString()) == broadcast)
            return true;
    }
    return false;
}

} // namespace

TEST(BroadcastLookup, DecidesAsAScanOfTheListedEntriesWouldWhateverTheFileHolds)
{
    const struct {
        const char* file;
        const char* address;
        bool listed;
    } cases[] = {
        {"[BRD_CAST]\r\nBRC_CNT=2\r\nBRC_IP_0=10.1.1.255\r\nBRC_IP_1=10.1.2.255\r\n", "10.1.2.9",
         true},
        {"[BRD_CAST]\r\nBRC_CNT=1\r\nBRC_IP_0=10.1.1.255\r\nBRC_IP_1=10.1.2.255\r\n", "10.1.2.9",
         false},
        // Names match without regard to case, in a section of any case.
        {"[brd_cast]\r\nbrc_cnt=1\r\nbrc_ip_0=10.1.2.255\r\n", "10.1.2.9", true},
        // Only the first of two equal keys counts.
        {"[BRD_CAST]\r\nBRC_CNT=1\r\nBRC_IP_0=10.1.1.255\r\nBRC_IP_0=10.1.2.255\r\n", "10.1.2.9",
         false},
        {"[BRD_CAST]\r\nBRC_CNT=1\r\n[BRD_CAST]\r\nBRC_IP_0=10.1.2.255\r\n", "10.1.2.9", true},
        // A key that is not how the list writes its index is never read.
        {"[BRD_CAST]\r\nBRC_CNT=5\r\nBRC_IP_01=10.1.2.255\r\n", "10.1.2.9", false},
        {"[BRD_CAST]\r\nBRC_CNT=5\r\nBRC_IP_+1=10.1.2.255\r\n", "10.1.2.9", false},
        {"[BRD_CAST]\r\nBRC_CNT=5\r\nBRC_IP_-1=10.1.2.255\r\n", "10.1.2.9", false},
        {"[BRD_CAST]\r\nBRC_CNT=5\r\nBRC_IP_x=10.1.2.255\r\n", "10.1.2.9", false},
        // Blanks around names and values are not part of them.
        {"[BRD_CAST]\r\nBRC_CNT=5\r\n  BRC_IP_4 =  10.1.2.255 \r\n", "10.1.2.9", true},
        // A damaged count is an empty list.
        {"[BRD_CAST]\r\nBRC_CNT=many\r\nBRC_IP_0=10.1.2.255\r\n", "10.1.2.9", false},
        {"[BRD_CAST]\r\nBRC_CNT=-1\r\nBRC_IP_0=10.1.2.255\r\n", "10.1.2.9", false},
        // Same value in another section.
        {"[OTHER]\r\nBRC_IP_0=10.1.2.255\r\n[BRD_CAST]\r\nBRC_CNT=1\r\n", "10.1.2.9", false},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        VirtualLan lan;
        auto socket = lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("192.168.10.7"));
        ScriptedMessageBoxes boxes;
        ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
        Program p{*socket, boxes, clock};
        p.settings.path = dir.filePath(QStringLiteral("x.ini"));
        InitBrdAddr(p);
        QFile file(p.settings.path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.file);
        file.close();

        const QString broadcast = MakeBrdAddr(QString::fromLatin1(c.address));
        ASSERT_EQ(Listed(p, broadcast), c.listed) << c.file;
        const QByteArray before = c.file;
        AddBrdList(p.settings, p.ownBroadcast, QString::fromLatin1(c.address));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const bool unchanged = file.readAll() == before;
        EXPECT_EQ(unchanged, c.listed) << c.file;
        // Whatever happened, the subnet is listed now, exactly once more at most.
        EXPECT_TRUE(Listed(p, broadcast)) << c.file;
    }
}
