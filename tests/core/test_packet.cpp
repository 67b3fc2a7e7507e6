#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "protocol/CommandCodes.h"
#include "protocol/Packet.h"
#include "protocol/Program.h"

#include <gtest/gtest.h>

using namespace wibblet;

namespace {

struct PacketTest : ::testing::Test {
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("10.0.0.1"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    Program program{*socket, boxes, clock};

    void SetUp() override
    {
        program.userNameText = QStringLiteral("taro");
        program.messageCode = QString::fromLatin1(mdlConst::MSG_NORMAL);
    }
};

} // namespace

TEST_F(PacketTest, BothCodeSetsShareOneCounter)
{
    program.packetNo = 4;
    EXPECT_EQ(MakePkt(program, ReqEntry), QStringLiteral("1:5:taro:PC01:1:"));
    EXPECT_EQ(MakePktIpm(program, ReqEntry), QStringLiteral("1:6:taro:PC01:6291457:"));
    EXPECT_EQ(program.packetNo, 6);
}

TEST_F(PacketTest, CommandTablesOfBothSets)
{
    const struct {
        qint32 request;
        const char* normal;
        const char* ipm;
    } table[] = {
        {ReqEntry, "1", "6291457"},
        {ReqExit, "2", "6291458"},
        {ReqAnswer, "3", "6291459"},
        {ReqPresent, "4", "6291460"},
        {ReqMessage, "20", "20"},
        {ReqReceipt, "33", "33"},
        {ReqReadNotice, "48", "48"},
        {ReqAbsent, "260", "6291716"},
        {ReqSealed, "800", "1049376"},
        {5, "", ""},
        {0, "", ""},
        {-1, "", ""},
    };
    for (const auto& row : table) {
        const QString suffix = QStringLiteral(":taro:PC01:");
        EXPECT_TRUE(MakePkt(program, row.request)
                        .endsWith(suffix + QString::fromLatin1(row.normal) + QLatin1Char(':')))
            << row.request;
        EXPECT_TRUE(MakePktIpm(program, row.request)
                        .endsWith(suffix + QString::fromLatin1(row.ipm) + QLatin1Char(':')))
            << row.request;
    }
}

TEST_F(PacketTest, OrdinaryMessageFollowsTheMode)
{
    program.messageCode = QString::fromLatin1(mdlConst::MSG_IPMSG);
    EXPECT_TRUE(MakePkt(program, ReqMessage).endsWith(QStringLiteral(":288:")));
    EXPECT_TRUE(MakePktIpm(program, ReqMessage).endsWith(QStringLiteral(":288:")));
}

TEST_F(PacketTest, UnknownRequestStillTakesANumber)
{
    EXPECT_EQ(MakePkt(program, 5), QStringLiteral("1:1:taro:PC01::"));
    EXPECT_EQ(MakePkt(program, ReqExit), QStringLiteral("1:2:taro:PC01:2:"));
}

TEST_F(PacketTest, CounterWrapsAfter2147483646AndSkipsTheTop)
{
    program.packetNo = 2147483645;
    EXPECT_EQ(NextPacketNo(program), 2147483646);
    EXPECT_EQ(NextPacketNo(program), 1);
    EXPECT_EQ(NextPacketNo(program), 2);
}

TEST_F(PacketTest, ColonsInNamesGoOutFullWidth)
{
    program.userNameText = QStringLiteral("a:b");
    EXPECT_EQ(MakePkt(program, ReqExit), QStringLiteral("1:1:a：b:PC01:2:"));
    program.userNameText.clear();
    EXPECT_EQ(MakePkt(program, ReqExit), QStringLiteral("1:2::PC01:2:"));
}

TEST(CommandCodes, NineDigitTextsAreTheirNumbers)
{
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_BR_ENTRY), 0x600001);
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_SECRETMSG), 0x100320);
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_READMSG), 0x100030);
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_SECRETMSG_PASSWORD), 0x8320);
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_SECRETMSG_PASSWORD_READCHECK), 0x108320);
    EXPECT_EQ(mdlConst::Number(mdlConst::IPM_BR_ABSENCE), 0x600104);
}
