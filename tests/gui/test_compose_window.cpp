#include "msgwin/frmPopup.h"

#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "protocol/Datagram.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "support/Printing.h"
#include "support/Wait.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace wibblet;
using test::RunEventsFor;
using test::WaitUntil;

namespace {

const QString kNul(1, QChar(u'\0'));

struct ComposeTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> a =
        lan.CreateSocket(QStringLiteral("A"), QStringLiteral("10.0.0.1"));
    std::unique_ptr<VirtualSocket> b =
        lan.CreateSocket(QStringLiteral("B"), QStringLiteral("10.0.0.2"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5, 7))};
    Program program{*a, boxes, clock};
    MemberTable members;
    QStringList received; // by B
    std::unique_ptr<frmPopup> window;

    void SetUp() override
    {
        a->Bind(1001);
        b->Bind(1001);
        QObject::connect(b.get(), &UdpSocket::DataArrival,
                         [this] { received.append(b->GetData()); });
        program.settings.path = dir.filePath(QStringLiteral("wibblet.ini"));
        program.settings.Read();
        program.port = 1001;
        program.messageCode = QStringLiteral("000000020");
        program.userNameText = QStringLiteral("alice");
        program.hostNameText = QStringLiteral("HOST-A");
        window = std::make_unique<frmPopup>(program, members);
        window->SetDestination(QStringLiteral("10.0.0.2"));
    }

    template <typename T> T* Find(const char* name)
    {
        auto* control = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QTextEdit* Text() { return Find<QTextEdit>("txtMSG"); }
    QLineEdit* Ok() { return Find<QLineEdit>("txtOK"); }
    QCheckBox* Host() { return Find<QCheckBox>("chkHost"); }
    QCheckBox* Secret() { return Find<QCheckBox>("chkSecret"); }
    QRadioButton* Icon(int i)
    {
        return Find<QRadioButton>(qPrintable(QStringLiteral("optIcon%1").arg(i)));
    }

    int AddRow(const QString& host, const QString& ip)
    {
        members.SetText(members.Add(host), MemberTable::ColIP, ip);
        return members.chkMember(host);
    }

    Datagram Received()
    {
        EXPECT_TRUE(WaitUntil([this] { return !received.isEmpty(); }));
        return received.isEmpty()
                   ? Datagram{}
                   : Datagram::Parse(received.takeFirst(), QStringLiteral("10.0.0.1"));
    }
    static QString Body(const Datagram& d) { return d.text.mid(d.c[5]); }

    void ExpectLoaded(int icon, bool sealed)
    {
        EXPECT_EQ(window->txtTitle()->text(), Settings::DefaultTitle());
        EXPECT_EQ(Text()->toPlainText(), QString());
        EXPECT_EQ(Ok()->text(), Settings::DefaultOk());
        EXPECT_TRUE(Host()->isChecked());
        EXPECT_EQ(Secret()->isChecked(), sealed);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(Icon(i)->isChecked(), i == icon) << i;
    }
};

} // namespace

TEST_F(ComposeTest, SendsTheBodyBehindTheModesMessageCommand)
{
    const struct {
        const char* messageCode;
        qint32 command;
    } cases[] = {{"000000020", 20}, {"000000288", 288}};
    for (const auto& c : cases) {
        program.messageCode = QString::fromLatin1(c.messageCode);
        window->txtTitle()->setText(QStringLiteral("a:b"));
        Text()->setPlainText(QStringLiteral("x:y\nz"));
        Ok()->setText(QStringLiteral("O:K"));
        Icon(3)->click();
        window->cmdSend_Click();

        const Datagram d = Received();
        EXPECT_EQ(d.command, c.command);
        EXPECT_EQ(d.Range(d.c[1] + 1, d.c[2] - 1), QString::number(program.packetNo));
        EXPECT_EQ(Body(d), QStringLiteral("x：y\r\nz") + kNul
                               + QStringLiteral(":a：b  (from  HOST-A[alice]):O：K:3") + kNul);
        EXPECT_TRUE(boxes.shown.isEmpty());
    }
}

TEST_F(ComposeTest, SealedCommandFollowsTheEmulationSetting)
{
    const struct {
        const char* ipMsg;
        qint32 command;
    } cases[] = {{"", 800}, {"1", 1049376}};
    const int row = AddRow(QStringLiteral("B"), QStringLiteral("10.0.0.2"));
    for (const auto& c : cases) {
        program.settings.IP_MSG = QString::fromLatin1(c.ipMsg);
        Secret()->setChecked(true);
        window->cmdSend_Click();

        EXPECT_EQ(Received().command, c.command) << c.ipMsg;
        EXPECT_EQ(members.Text(row, MemberTable::ColSealed), QString::number(program.packetNo));
        EXPECT_EQ(members.Text(row, MemberTable::ColStandard), QString());
        EXPECT_EQ(members.Text(row, MemberTable::ColSendTime), QString());
    }
}

TEST_F(ComposeTest, RecordsOnTheAddresseesRowWhereverTheSocketPoints)
{
    const struct {
        const char* destination;
        bool addresseeListed;
    } cases[] = {{"10.0.0.2", true}, {"B", true}, {"10.0.0.2", false}};
    for (const auto& c : cases) {
        members.Clear();
        AddRow(QStringLiteral("C"), QStringLiteral("10.0.0.3"));
        if (c.addresseeListed)
            AddRow(QStringLiteral("B"), QStringLiteral("10.0.0.2"));
        window->SetDestination(QString::fromLatin1(c.destination));
        // Other traffic has moved the shared endpoint since the window opened.
        SetRemote(program, QStringLiteral("10.0.0.3"));
        window->cmdSend_Click();

        ASSERT_EQ(Received().command, 20) << c.destination;
        EXPECT_EQ(lan.Sent().last().toHost, QString::fromLatin1(c.destination));
        const int row = members.chkMember(QStringLiteral("B"));
        if (c.addresseeListed) {
            EXPECT_EQ(members.Text(row, MemberTable::ColStandard),
                      QString::number(program.packetNo));
            EXPECT_EQ(members.Text(row, MemberTable::ColSendTime), QStringLiteral("09:05:07"));
        }
        const int other = members.chkMember(QStringLiteral("C"));
        EXPECT_EQ(members.Text(other, MemberTable::ColStandard), QString());
        EXPECT_EQ(members.Text(other, MemberTable::ColSendTime), QString());
        EXPECT_TRUE(boxes.shown.isEmpty());
    }
}

// Code page 932 has no emoji: the user hears which characters would arrive
// as "?" and decides. A destination that takes UTF-8 takes them all.
TEST_F(ComposeTest, CharactersTheDestinationCannotTakeAreNamedBeforeSending)
{
    window->show();
    window->txtTitle()->setText(QStringLiteral("寿司🍣"));
    Text()->setPlainText(QStringLiteral("①と😀と😀"));
    Ok()->setText(QStringLiteral("了解"));

    boxes.answers.enqueue(BoxAnswer::No);
    window->cmdSend_Click();
    ASSERT_EQ(boxes.shown.size(), 1);
    const BoxRequest& box = boxes.shown.first();
    EXPECT_EQ(box.title, QStringLiteral("送れない文字があります。(^-^;"));
    EXPECT_EQ(box.text, QStringLiteral("次の文字は、相手に送ることができません。\r\n\r\n"
                                       "🍣 😀\r\n\r\n"
                                       "「?」に置き換えて、このまま送信しますか？"));
    EXPECT_EQ(box.buttons, BoxButtons::YesNo);
    RunEventsFor(20);
    EXPECT_TRUE(received.isEmpty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Text()->toPlainText(), QStringLiteral("①と😀と😀"));

    boxes.answers.enqueue(BoxAnswer::Yes);
    window->cmdSend_Click();
    EXPECT_EQ(Body(Received()), QStringLiteral("①と?と?") + kNul
                                    + QStringLiteral(":寿司?  (from  HOST-A[alice]):了解:8")
                                    + kNul);
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(boxes.shown.size(), 2);

    // In emulation mode, to a peer that writes UTF-8.
    program.settings.IP_MSG = QStringLiteral("1");
    Dispatcher dispatcher(program, members);
    b->SetRemoteHost(QStringLiteral("10.0.0.1"));
    b->SetRemotePort(1001);
    // A name that is no code page 932 tells that B writes UTF-8.
    b->SendBytes("1:1:bob:B:257:" + QStringLiteral("いぷ花子").toUtf8() + QByteArray("\0\0", 2));
    ASSERT_TRUE(WaitUntil([&] { return members.Count() == 1; }));
    RunEventsFor(20); // the answers
    received.clear();
    QObject::disconnect(b.get(), &UdpSocket::DataArrival, nullptr, nullptr);
    QList<QByteArray> bytes;
    QObject::connect(b.get(), &UdpSocket::DataArrival, [&] { bytes.append(b->GetBytes()); });
    window->show();
    Text()->setPlainText(QStringLiteral("😀"));
    window->cmdSend_Click();
    ASSERT_TRUE(WaitUntil([&] { return !bytes.isEmpty(); }));
    EXPECT_EQ(boxes.shown.size(), 2);
    const Datagram d = Datagram::Parse(QString::fromUtf8(bytes.first()), QString());
    EXPECT_EQ(d.command, 20 | 0x800000);
    EXPECT_TRUE(Body(d).startsWith(QStringLiteral("😀") + kNul));
}

TEST_F(ComposeTest, SendResetsTheFieldsButKeepsIconAndSealedBox)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ポップアップ"));
    ExpectLoaded(8, false);

    window->show();
    window->txtTitle()->setText(QStringLiteral("t"));
    Text()->setPlainText(QStringLiteral("m"));
    Ok()->setText(QStringLiteral("o"));
    Host()->setChecked(false);
    Icon(2)->click();
    Secret()->setChecked(true);
    window->cmdSend_Click();

    EXPECT_TRUE(window->isHidden());
    ExpectLoaded(2, true);
}

TEST_F(ComposeTest, UnreachableHostIsReportedAndNothingRecorded)
{
    const int row = AddRow(QStringLiteral("nohost.invalid"), QString());
    window->SetDestination(QStringLiteral("nohost.invalid"));
    window->show();
    window->cmdSend_Click();

    ASSERT_EQ(boxes.shown.size(), 1);
    const BoxRequest& box = boxes.shown.first();
    EXPECT_EQ(box.title, QStringLiteral("送信できません。<(_ _)>"));
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_EQ(box.icon, BoxIcon::None);
    EXPECT_EQ(box.text, QStringLiteral(
                            "メッセージ送信時に、謎の通信エラーが発生しました。\r\n\r\n"
                            "(11001:正式な回答 : ホストが見つからない )\r\n\r\n"
                            "送信先相手が存在しないか、受信不可能な状態である可能性があります。\r\n"
                            "送信メッセージはネットの藻屑と消えました。"));
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(members.Text(row, MemberTable::ColStandard), QString());
    EXPECT_EQ(members.Text(row, MemberTable::ColSendTime), QString());
}

TEST_F(ComposeTest, LeavingTheTextChecksItsLengthInBytes)
{
    const QString limit(289, QChar(u'あ'));
    const struct {
        QString text;
        qsizetype boxes;
    } cases[] = {{limit, 0}, {limit + QStringLiteral("a"), 1}};
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (const auto& c : cases) {
        boxes.shown.clear();
        Text()->setPlainText(c.text);
        Text()->setFocus();
        Ok()->setFocus();
        RunEventsFor(50);
        ASSERT_EQ(boxes.shown.size(), c.boxes) << c.text.size();
    }
    EXPECT_TRUE(Text()->hasFocus());
    EXPECT_EQ(boxes.shown.first().text,
              QStringLiteral("メッセージに指定できる文字は、578 バイト迄です。"));
    EXPECT_EQ(boxes.shown.first().Caption(), QStringLiteral("Wibblet"));
}

TEST_F(ComposeTest, TypingStopsAt578Characters)
{
    const QString full(578, QLatin1Char('x'));
    Text()->setPlainText(full);
    Text()->moveCursor(QTextCursor::End);
    QTest::keyClick(Text(), Qt::Key_Y);
    EXPECT_EQ(Text()->toPlainText(), full);
}

TEST_F(ComposeTest, EnterSendsAndCtrlEnterBreaksTheLine)
{
    window->show();
    QTest::keyClick(Text(), Qt::Key_A);
    QTest::keyClick(Text(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(Text(), Qt::Key_B);
    EXPECT_EQ(Text()->toPlainText(), QStringLiteral("a\nb"));
    RunEventsFor(20);
    EXPECT_TRUE(received.isEmpty());

    QTest::keyClick(Text(), Qt::Key_Return);
    EXPECT_TRUE(Body(Received()).startsWith(QStringLiteral("a\r\nb") + kNul));
    EXPECT_TRUE(window->isHidden());

    QTest::keyClick(Ok(), Qt::Key_Enter);
    EXPECT_EQ(Received().command, 20);
}

TEST_F(ComposeTest, ClosingByTheFrameDiscardsTheWindow)
{
    QPointer<frmPopup> popup = window.release();
    popup->show();
    popup->close();
    EXPECT_TRUE(WaitUntil([&] { return popup.isNull(); }));
}
