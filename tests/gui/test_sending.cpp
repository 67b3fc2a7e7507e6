#include "kit/LanProgram.h"
#include "mainwin/frmOpenNotice.h"
#include "msgwin/MakeReTitle.h"
#include "msgwin/frmPopup.h"
#include "msgwin/frmPopupCl.h"
#include "platform/Cp932.h"
#include "protocol/Datagram.h"
#include "protocol/MemberTable.h"
#include "protocol/Presence.h"
#include "support/Printing.h"
#include "support/Wait.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

using namespace wibblet;
using test::LanProgram;
using test::WaitUntil;

namespace {

struct SendingTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;

    std::unique_ptr<LanProgram> Start(const QString& host, const QString& ip,
                                      const QString& ini = QString())
    {
        auto program = std::make_unique<LanProgram>(lan, dir.path(), host, ip);
        if (!ini.isEmpty()) {
            QFile f(program->SettingsPath());
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(Cp932::Encode(ini));
        }
        EXPECT_TRUE(program->main.Form_Load());
        return program;
    }

    // Writes a message in a's compose window, addressed to host through the
    // destination box, and sends it.
    void Write(LanProgram& a, const QString& host, const QString& text, int icon = 8,
               bool sealed = false)
    {
        a.main.findChild<QLineEdit*>(QStringLiteral("txtHost"))->setText(host);
        a.main.cmdSend_Click();
        frmPopup* compose = a.main.Compose();
        ASSERT_TRUE(compose);
        compose->findChild<QTextEdit*>(QStringLiteral("txtMSG"))->setPlainText(text);
        compose->findChild<QRadioButton*>(QStringLiteral("optIcon%1").arg(icon))->setChecked(true);
        compose->findChild<QCheckBox*>(QStringLiteral("chkSecret"))->setChecked(sealed);
        compose->cmdSend_Click();
    }

    static frmPopupCl* LastWindow(LanProgram& p)
    {
        const ReceivedWindows& windows = p.main.popups();
        return windows.NumPop() > 0 ? windows.PopCl().value(windows.NumPop() - 1) : nullptr;
    }
};

} // namespace

TEST_F(SendingTest, MessageTravelsAndItsReceiptEndsTheWatch)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));

    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("hello: there"), 3);
    ASSERT_TRUE(WaitUntil([&] { return b->main.popups().NumPop() == 1; }));
    frmPopupCl* window = LastWindow(*b);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblMSG"))->text(),
              QStringLiteral("hello： there"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("致命的なエラー(嘘)  (from  HOST-A[HOST-A])"));
    EXPECT_EQ(window->cmdOK()->text(), QStringLiteral("確認"));
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("picIcon3"))->isVisibleTo(window));

    // The receipt clears the pending columns of B's row on A.
    const int row = a->main.members().chkMember(QStringLiteral("HOST-B"));
    ASSERT_TRUE(
        WaitUntil([&] { return a->main.members().Text(row, MemberTable::ColStandard).isEmpty(); }));
    EXPECT_TRUE(a->main.members().Text(row, MemberTable::ColSendTime).isEmpty());
    EXPECT_TRUE(a->boxes.shown.isEmpty());
}

// In emulation mode a peer that writes UTF-8 (iptux tells so only by its
// bytes) or says it reads it (the capability option 0x1000000 on its entry)
// gets every text in UTF-8 with the UTF-8 flag: messages, receipts. A code
// page 932 peer, and every peer in the own mode, gets code page 932 as ever.
TEST_F(SendingTest, EachPeerGetsTheEncodingItUses)
{
    const auto inUtf8 = [](bool utf8, const QString& text) {
        return utf8 ? text.toUtf8() : Cp932::Encode(text);
    };
    for (const bool emulation : {true, false}) {
        const quint16 port = emulation ? 2425 : 1001;
        const QString net = QString::fromLatin1(emulation ? "10.0.1." : "10.0.2.");
        auto a = Start(QStringLiteral("HOST-%1").arg(port), net + QStringLiteral("1"),
                       QStringLiteral("[BSC_CFG]\r\nUSER_NAME=太郎\r\nIP_MSG=%1\r\n")
                           .arg(QLatin1String(emulation ? "1" : "")));
        const struct {
            const char* host;
            QByteArray entry; // command and nickname
            bool writesUtf8;
            bool getsUtf8;
        } peers[] = {
            {"labA", (emulation ? "257:" : "1:") + QStringLiteral("いぷ花子").toUtf8(), true,
             emulation},
            {"labB", "1:" + Cp932::Encode(QStringLiteral("ハナ子")), false, false},
            {"labC", emulation ? QByteArray::number(0x1000001) + ":ipmsg" : "1:ipmsg", false,
             emulation},
        };
        std::vector<std::unique_ptr<VirtualSocket>> sockets;
        for (const auto& peer : peers) {
            sockets.push_back(lan.CreateSocket(QString::fromLatin1(peer.host),
                                               net + QString::number(5 + sockets.size())));
            VirtualSocket& socket = *sockets.back();
            ASSERT_EQ(socket.Bind(port), 0);
            socket.SetRemoteHost(net + QStringLiteral("1"));
            socket.SetRemotePort(port);
            socket.SendBytes("1:1:u:" + QByteArray(peer.host) + ':' + peer.entry
                             + QByteArray("\0\0", 2));
        }
        ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 4; }));
        const MemberTable& members = a->main.members();
        EXPECT_EQ(members.Text(members.chkMember(QStringLiteral("labA")), MemberTable::ColUser),
                  QStringLiteral("いぷ花子"));

        for (int i = 0; i < 3; ++i) {
            lan.ClearSent();
            Write(*a, QString::fromLatin1(peers[i].host), QStringLiteral("日本語"));
            // The peer writes back and is acknowledged.
            sockets[i]->SendBytes("1:2:u:" + QByteArray(peers[i].host) + ':'
                                  + QByteArray::number(emulation ? 288 : 20) + ':'
                                  + inUtf8(peers[i].writesUtf8, QStringLiteral("はい")) + '\0');
            ASSERT_TRUE(WaitUntil([&] { return lan.Sent().size() >= 4; }));
            const qint32 flag = peers[i].getsUtf8 ? 0x800000 : 0;
            QStringList sent;
            for (const auto& d : lan.Sent()) {
                if (d.fromIP != net + QStringLiteral("1"))
                    continue;
                const Datagram datagram = Datagram::Parse(
                    peers[i].getsUtf8 ? QString::fromUtf8(d.bytes) : Cp932::Decode(d.bytes),
                    QString());
                sent << QStringLiteral("%1 %2 %3|%4")
                            .arg(d.toHost)
                            .arg(datagram.command - flag)
                            .arg(datagram.senderName, CutAtNul(datagram.extra));
            }
            const QString to = net + QString::number(5 + i);
            EXPECT_EQ(
                sent,
                (QStringList{to + QStringLiteral(" %1 太郎|日本語").arg(emulation ? 288 : 20),
                             to + QStringLiteral(" 33 太郎|2"), to + QStringLiteral(" 33 太郎|2")}))
                << peers[i].host << " emulation " << emulation;
            EXPECT_EQ(LastWindow(*a)->findChild<QLabel*>(QStringLiteral("lblMSG"))->text(),
                      QStringLiteral("はい"));
        }
    }
}

// Two programs in emulation mode whose user names are more than ASCII: their
// broadcasts go in UTF-8 with the flag, so each takes the other for a UTF-8
// peer. A sealed message with an emoji, its receipts and its read notice
// all go in UTF-8, flagged, and are understood.
TEST_F(SendingTest, EmulationPeersWithJapaneseNamesTalkInUtf8)
{
    const QString ini = QStringLiteral("[BSC_CFG]\r\nIP_MSG=1\r\nSECRET_OK=1\r\nUSER_NAME=%1\r\n");
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"),
                   ini.arg(QStringLiteral("花子")));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"),
                   ini.arg(QStringLiteral("太郎")));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    const int row = a->main.members().chkMember(QStringLiteral("HOST-B"));
    EXPECT_EQ(a->main.members().Text(row, MemberTable::ColUser), QStringLiteral("太郎"));

    lan.ClearSent();
    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("封書😀"), 8, true);
    ASSERT_TRUE(WaitUntil([&] { return b->main.popups().NumPop() == 1; }));
    frmPopupCl* window = LastWindow(*b);
    window->cmdSecret()->click();
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblMSG"))->text(),
              QStringLiteral("封書😀"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.NumOpN() == 0; }));
    EXPECT_EQ(a->main.OpnNtc().value(0)->windowTitle(), QStringLiteral("太郎"));
    EXPECT_TRUE(a->boxes.shown.isEmpty());
    // The message, two receipts, the read notice.
    ASSERT_EQ(lan.Sent().size(), 4);
    for (const auto& d : lan.Sent())
        EXPECT_NE(Datagram::Parse(QString::fromUtf8(d.bytes), QString()).command & 0x800000, 0);
}

TEST_F(SendingTest, DeliveryWatchReportsOnceBetween31And33Seconds)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    auto c = Start(QStringLiteral("HOST-C"), QStringLiteral("10.0.0.3"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 3; }));
    // B and C go silent: they neither receive nor acknowledge any more.
    b->socket->Close();
    c->socket->Close();

    a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(23, 59, 50)));
    Write(*a, QStringLiteral("HOST-C"), QStringLiteral("to C"));
    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("to B"));
    test::RunEventsFor(20);

    int reportedAt = -1;
    for (int t = 3; t <= 60; t += 3) {
        a->clock.Set(QDateTime(QDate(2026, 2, 4), QTime(0, 0)).addSecs(t - 10));
        a->main.timTimer_Timer();
        if (!a->boxes.shown.isEmpty() && reportedAt < 0)
            reportedAt = t;
    }
    EXPECT_GE(reportedAt, 31);
    EXPECT_LE(reportedAt, 33);
    // One notice per row, in row order, across midnight.
    ASSERT_EQ(a->boxes.shown.size(), 2);
    EXPECT_EQ(a->boxes.shown[0].text,
              QStringLiteral("HOST-B からの応答がありません。\r\n23:59:50 "
                             "に送信したメッセージは、ネットの藻屑と消えた模様です。"));
    EXPECT_EQ(a->boxes.shown[0].icon, BoxIcon::Information);
    EXPECT_TRUE(a->boxes.shown[1].text.startsWith(QStringLiteral("HOST-C ")));
    for (const char* host : {"HOST-B", "HOST-C"}) {
        const int row = a->main.members().chkMember(QString::fromLatin1(host));
        EXPECT_TRUE(a->main.members().Text(row, MemberTable::ColStandard).isEmpty());
        EXPECT_TRUE(a->main.members().Text(row, MemberTable::ColSendTime).isEmpty());
    }
}

TEST_F(SendingTest, ReceiptAfterTwentySecondsPreventsTheNotice)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    b->socket->Close(); // B's program hears nothing; a stand-in answers late
    a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(10, 0)));
    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("late receipt"));
    const int row = a->main.members().chkMember(QStringLiteral("HOST-B"));
    const QString packetNo = a->main.members().Text(row, MemberTable::ColStandard);
    ASSERT_FALSE(packetNo.isEmpty());

    for (int t = 3; t <= 18; t += 3) {
        a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(10, 0, t)));
        a->main.timTimer_Timer();
    }
    auto standIn = lan.CreateSocket(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_EQ(standIn->Bind(1001), 0);
    standIn->SetRemoteHost(QStringLiteral("10.0.0.1"));
    standIn->SetRemotePort(1001);
    standIn->SendData(QStringLiteral("1:9:HOST-B:HOST-B:33:") + packetNo + QChar(u'\0'));
    ASSERT_TRUE(
        WaitUntil([&] { return a->main.members().Text(row, MemberTable::ColStandard).isEmpty(); }));
    for (int t = 21; t <= 60; t += 3) {
        a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(10, 0, t)));
        a->main.timTimer_Timer();
    }
    EXPECT_TRUE(a->boxes.shown.isEmpty());
}

// A peer killed without its exit leaves its row; a new host takes its address.
// What is written to the newcomer is watched on the newcomer's row.
TEST_F(SendingTest, WatchAndSealedMarkGoOnTheAddresseesRowNotTheFirstOnItsAddress)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto gone = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"),
                      QStringLiteral("[BSC_CFG]\r\nUSER_NAME=いぷ太郎\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    gone->socket->Close();
    auto newcomer = Start(QStringLiteral("HOST-C"), QStringLiteral("10.0.0.2"),
                          QStringLiteral("[BSC_CFG]\r\nUSER_NAME=新しい人\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 3; }));
    Write(*newcomer, QStringLiteral("HOST-A"), QStringLiteral("question"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.popups().NumPop() == 1; }));
    newcomer->socket->Close(); // gone silent too

    // A reply, and a sealed message written through the list.
    a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(10, 0)));
    LastWindow(*a)->mnuRes()->trigger();
    a->main.Compose()->cmdSend_Click();
    Write(*a, QStringLiteral("HOST-C"), QStringLiteral("sealed"), 8, true);
    const MemberTable& members = a->main.members();
    const int oldRow = members.chkMember(QStringLiteral("HOST-B"));
    const int newRow = members.chkMember(QStringLiteral("HOST-C"));
    EXPECT_FALSE(members.Text(newRow, MemberTable::ColStandard).isEmpty());
    EXPECT_FALSE(members.Text(newRow, MemberTable::ColSealed).isEmpty());
    EXPECT_TRUE(members.Text(oldRow, MemberTable::ColStandard).isEmpty());
    EXPECT_TRUE(members.Text(oldRow, MemberTable::ColSealed).isEmpty());

    a->clock.Set(QDateTime(QDate(2026, 2, 3), QTime(10, 0, 33)));
    a->main.timTimer_Timer();
    ASSERT_EQ(a->boxes.shown.size(), 1);
    EXPECT_TRUE(
        a->boxes.shown[0].text.startsWith(QStringLiteral("新しい人 からの応答がありません。")))
        << a->boxes.shown[0].text.toStdString();
}

TEST_F(SendingTest, ComposeWindowKeepsItsDestinationWhileOtherTrafficMovesTheSocket)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    a->main.findChild<QLineEdit*>(QStringLiteral("txtHost"))->setText(QStringLiteral("HOST-B"));
    a->main.cmdSend_Click();
    // C enters while the window is open; A answers it, moving its endpoint.
    auto c = Start(QStringLiteral("HOST-C"), QStringLiteral("10.0.0.3"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 3; }));
    a->main.Compose()
        ->findChild<QTextEdit*>(QStringLiteral("txtMSG"))
        ->setPlainText(QStringLiteral("for B only"));
    a->main.Compose()->cmdSend_Click();
    ASSERT_TRUE(WaitUntil([&] { return b->main.popups().NumPop() == 1; }));
    test::RunEventsFor(30);
    EXPECT_EQ(c->main.popups().NumPop(), 0);
}

TEST_F(SendingTest, ArrowKeysInTheMemberListPickTheHostAndEnterOpensTheComposeWindow)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    a->main.mnuResize_Click();
    auto* list = a->main.findChild<QTreeView*>(QStringLiteral("lsvMember"));
    auto* host = a->main.findChild<QLineEdit*>(QStringLiteral("txtHost"));
    list->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return list->hasFocus(); }));
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Down);
    const QString second = a->main.members().Text(2, MemberTable::ColHost);
    EXPECT_EQ(host->text(), second);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(host->text(), a->main.members().Text(1, MemberTable::ColHost));

    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(a->main.Compose()->isVisible());
    EXPECT_TRUE(host->text().isEmpty());
}

TEST_F(SendingTest, TheListOnScreenHearsOfNewHostsInBatchesAndHiddenAtOnce)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    a->main.mnuResize_Click();
    const QAbstractItemModel* shown =
        a->main.findChild<QTreeView*>(QStringLiteral("lsvMember"))->model();
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return shown->rowCount() == 2; }));

    a->main.hide();
    auto c = Start(QStringLiteral("HOST-C"), QStringLiteral("10.0.0.3"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 3; }));
    EXPECT_EQ(shown->rowCount(), 3);
}

TEST_F(SendingTest, EmptyDestinationIsRefused)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    a->main.cmdSend_Click();
    ASSERT_EQ(a->boxes.shown.size(), 1);
    EXPECT_EQ(a->boxes.shown.first().text, QStringLiteral("相手ホスト名を指定せんかいっ！"));
    EXPECT_FALSE(a->main.Compose()->isVisible());
}

TEST_F(SendingTest, SealedMessageIsOpenedAndTheSenderIsTold)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"),
                   QStringLiteral("[BSC_CFG]\r\nSECRET_OK=1\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    const int row = a->main.members().chkMember(QStringLiteral("HOST-B"));

    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("sealed"), 8, true);
    EXPECT_FALSE(a->main.members().Text(row, MemberTable::ColSealed).isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return b->main.popups().NumPop() == 1; }));
    frmPopupCl* window = LastWindow(*b);
    EXPECT_TRUE(window->cmdSecret()->isVisibleTo(window));
    test::RunEventsFor(30);
    EXPECT_EQ(a->main.NumOpN(), -1);

    window->cmdSecret()->click();
    ASSERT_TRUE(WaitUntil([&] { return a->main.NumOpN() == 0; }));
    EXPECT_TRUE(a->main.members().Text(row, MemberTable::ColSealed).isEmpty());
    EXPECT_EQ(a->main.OpnNtc().value(0)->windowTitle(), QStringLiteral("HOST-B"));

    // With sealed messages off on B, A hears at once.
    b->main.findChild<QAction*>(QStringLiteral("mnuSecretOk"))->trigger();
    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("sealed again"), 8, true);
    ASSERT_TRUE(WaitUntil([&] { return a->main.NumOpN() == 1; }));
}

TEST_F(SendingTest, ReplyAddressesTheSenderWithAReTitle)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    auto b = Start(QStringLiteral("HOST-B"), QStringLiteral("10.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 2; }));
    Write(*a, QStringLiteral("HOST-B"), QStringLiteral("question"));
    ASSERT_TRUE(WaitUntil([&] { return b->main.popups().NumPop() == 1; }));
    frmPopupCl* window = LastWindow(*b);
    window->mnuRes()->trigger();
    EXPECT_FALSE(window->isVisible());
    frmPopup* compose = b->main.Compose();
    ASSERT_TRUE(compose && compose->isVisible());
    EXPECT_EQ(compose->Destination(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(compose->txtTitle()->text(), QStringLiteral("Re：致命的なエラー"));
    ASSERT_TRUE(WaitUntil([&] { return !b->main.popups().PopCl().value(0); })); // slot released
}

TEST(MakeReTitle, MakesOneReAndDropsTheSenderNote)
{
    const struct {
        const char16_t* title;
        const char16_t* reply;
    } cases[] = {
        {u"", u"Re: "},
        {u"致命的なエラー(嘘)", u"Re：致命的なエラー"},
        {u"Re：お昼  (from  PC01[taro])", u"Re：お昼"},
        {u"  Re：お昼 ", u"Re：お昼"},
        {u"(from  PC01[taro])", u"Re："},
        {u"   ", u"Re："},
        {u"Re: plain", u"Re：Re: plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeReTitle(QString::fromUtf16(c.title)), QString::fromUtf16(c.reply));
}

TEST_F(SendingTest, EmulationSwitchRebindsAndRefreshes)
{
    auto a = Start(QStringLiteral("HOST-A"), QStringLiteral("10.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 1; }));
    const QString ini = a->SettingsPath();
    auto settingsText = [&] {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? Cp932::Decode(f.readAll()) : QString();
    };
    const QString before = settingsText();
    lan.ClearSent();

    a->boxes.answers.enqueue(BoxAnswer::Cancel);
    a->main.mnuIP_MSG_Click();
    EXPECT_TRUE(lan.Sent().isEmpty());
    EXPECT_EQ(settingsText(), before);
    EXPECT_EQ(a->socket->LocalPort(), 1001);

    a->main.mnuIP_MSG_Click();
    EXPECT_TRUE(settingsText().contains(QStringLiteral("IP_MSG=1\r\n")));
    EXPECT_EQ(a->socket->LocalPort(), 2425);
    EXPECT_EQ(a->main.program().messageCode, QStringLiteral("000000288"));
    ASSERT_GE(lan.Sent().size(), 4);
    EXPECT_EQ(lan.Sent().first().toPort, 1001); // the exit, in the old mode
    EXPECT_TRUE(Cp932::Decode(lan.Sent().first().bytes).contains(QStringLiteral(":2:")));
    EXPECT_EQ(lan.Sent().last().toPort, 2425); // the entry, in the new one
    ASSERT_TRUE(WaitUntil([&] { return a->main.members().Count() == 1; }));

    const qsizetype boxes = a->boxes.shown.size();
    a->main.mnuIP_MSG_Click();
    EXPECT_EQ(a->boxes.shown.size(), boxes);
    EXPECT_EQ(a->socket->LocalPort(), 1001);
    EXPECT_TRUE(settingsText().contains(QStringLiteral("IP_MSG=\r\n")));
}
