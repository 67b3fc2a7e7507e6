#include "kit/LanProgram.h"
#include "platform/Cp932.h"
#include "protocol/CommandCodes.h"
#include "protocol/Datagram.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "support/Wait.h"

#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wibblet;
using test::LanProgram;
using test::WaitUntil;

namespace {

struct PresenceTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;

    std::unique_ptr<LanProgram> Start(const QString& host, const QString& ip)
    {
        auto program = std::make_unique<LanProgram>(lan, dir.path(), host, ip);
        EXPECT_TRUE(program->main.Form_Load());
        return program;
    }

    // Datagrams sent from ip with the given command, in order.
    QList<Datagram> SentFrom(const QString& ip, qint32 command)
    {
        QList<Datagram> found;
        for (const auto& sent : lan.Sent()) {
            if (sent.fromIP != ip)
                continue;
            const Datagram d = Datagram::Parse(Cp932::Decode(sent.bytes), ip);
            if (d.command == command)
                found.append(d);
        }
        return found;
    }
};

} // namespace

TEST_F(PresenceTest, ThreeHostsListEachOtherAndAnswerEveryEntryInBothCodeSets)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    auto c = Start(QStringLiteral("HOST-C"), QStringLiteral("10.0.0.3"));
    for (auto* p : {a.get(), b.get(), c.get()})
        ASSERT_TRUE(WaitUntil([p] { return p->main.members().Count() == 3; }))
            << p->main.members().Count();

    // Everyone answered every entry it heard, its own included (which comes
    // back twice: the entry goes to the own subnet first and last): A heard
    // all three entries, C only its own.
    const struct {
        const char* ip;
        qsizetype answers;
    } expected[] = {{"10.0.0.1", 6}, {"10.0.0.2", 4}, {"10.0.0.3", 2}};
    for (const auto& host : expected) {
        const QString ip = QString::fromLatin1(host.ip);
        const auto normal = SentFrom(ip, 3);
        const auto ipm = SentFrom(ip, 6291459);
        ASSERT_EQ(normal.size(), host.answers) << host.ip;
        ASSERT_EQ(ipm.size(), host.answers) << host.ip;
        for (qsizetype i = 0; i < normal.size(); ++i) {
            const qint32 first = normal[i].Range(normal[i].c[1] + 1, normal[i].c[2] - 1).toInt();
            const qint32 second = ipm[i].Range(ipm[i].c[1] + 1, ipm[i].c[2] - 1).toInt();
            EXPECT_EQ(second, first + 1) << host.ip;
        }
    }
    const MemberTable& list = a->main.members();
    const int rowB = list.chkMember(QStringLiteral("HOST-B"));
    ASSERT_GE(rowB, 1);
    EXPECT_EQ(list.Text(rowB, MemberTable::ColUser), QStringLiteral("HOST-B"));
    EXPECT_EQ(list.Text(rowB, MemberTable::ColIP), QStringLiteral("10.0.0.2"));
    EXPECT_TRUE(a->boxes.shown.isEmpty());

    // The tip follows the list on the next tick.
    a->main.flasher().timTimer2_Timer();
    EXPECT_EQ(a->tray.Tip(), QStringLiteral("Wibblet(3)"));

    // An exit removes exactly the leaving host's row.
    c->main.close();
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    EXPECT_LT(a->main.members().chkMember(QStringLiteral("HOST-C")), 0);
    EXPECT_GE(a->main.members().chkMember(QStringLiteral("HOST-B")), 1);
}

TEST_F(PresenceTest, HostOnAnotherSubnetJoinsTheListAndHearsTheNextBroadcast)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto far = Start(QStringLiteral("HOST-F"), QStringLiteral("10.0.1.7"));
    // The far host's entry cannot reach A by broadcast; a unicast answer can.
    SetRemote(far->main.program(), QStringLiteral("10.0.0.1"));
    SendPkt(far->main.program(), MakePkt(far->main.program(), ReqAnswer) + QChar(u'\0'));
    ASSERT_TRUE(
        WaitUntil([&] { return a->main.members().chkMember(QStringLiteral("HOST-F")) >= 1; }));
    EXPECT_EQ(a->main.program().settings.GetIni(QStringLiteral("BRD_CAST"),
                                                QStringLiteral("BRC_CNT"), QString()),
              QStringLiteral("1"));
    EXPECT_EQ(a->main.program().settings.GetIni(QStringLiteral("BRD_CAST"),
                                                QStringLiteral("BRC_IP_0"), QString()),
              QStringLiteral("10.0.1.255"));

    a->main.close();
    ASSERT_TRUE(
        WaitUntil([&] { return far->main.members().chkMember(QStringLiteral("HOST-A")) < 0; }));
    bool exitReachedFarSubnet = false;
    for (const auto& sent : lan.Sent())
        exitReachedFarSubnet |= sent.fromIP == QStringLiteral("10.0.0.1")
                                && sent.toHost == QStringLiteral("10.0.1.255");
    EXPECT_TRUE(exitReachedFarSubnet);
}

TEST_F(PresenceTest, TrayTipAndFlashingCycle)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(a->tray.Tip(), QStringLiteral("Wibblet(0)"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 1; }));

    a->main.flasher().SetNonPopMsg(true);
    QList<TrayPicture> pictures;
    for (int tick = 0; tick < 6; ++tick) {
        a->main.flasher().timTimer2_Timer();
        pictures.append(a->tray.Picture());
        EXPECT_EQ(a->tray.Tip(), QStringLiteral("Wibblet(1)\r\nメッセージあり"));
    }
    EXPECT_EQ(pictures,
              (QList<TrayPicture>{TrayPicture::Main, TrayPicture::Main, TrayPicture::Letter,
                                  TrayPicture::Main, TrayPicture::Main, TrayPicture::Letter}));

    // The phase carries over to the next waiting period.
    a->main.flasher().timTimer2_Timer();
    a->main.flasher().SetNonPopMsg(false);
    a->main.flasher().timTimer2_Timer();
    EXPECT_EQ(a->tray.Picture(), TrayPicture::Main);
    EXPECT_EQ(a->tray.Tip(), QStringLiteral("Wibblet(1)"));
    EXPECT_EQ(a->main.flasher().FlashCnt(), 1);
}

TEST_F(PresenceTest, MinimizingHidesAndTheTrayBringsTheWindowBack)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    EXPECT_FALSE(a->main.isVisible());
    a->main.TrayIcon_Event(TrayEvent::LeftPress, {});
    EXPECT_TRUE(a->main.isVisible());
    EXPECT_FALSE(a->main.findChild<QLabel*>(QStringLiteral("lblNonPopup"))->isVisible());

    a->main.showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return !a->main.isVisible(); }));
    a->main.mnuResize_Click();
    EXPECT_TRUE(a->main.isVisible());
    EXPECT_FALSE(a->main.isMinimized());

    a->main.hide();
    a->main.TrayIcon_Event(TrayEvent::LeftDoubleClick, {});
    EXPECT_TRUE(a->main.isVisible());
}
