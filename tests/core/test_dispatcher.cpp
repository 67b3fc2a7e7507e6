#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "protocol/Answerable.h"
#include "protocol/Datagram.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "protocol/RecentDatagrams.h"
#include "settings/BroadcastList.h"
#include "settings/Failure.h"
#include "support/Printing.h"
#include "support/Wait.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wibblet;
using test::WaitUntil;

namespace {

const QString kNul(1, QChar(u'\0'));
const QString kFourNuls = kNul.repeated(4);

/// Records what the dispatcher hands on; fails on demand like a window would.
struct RecordingHandler : MessageHandler {
    QStringList calls;    // kind, command, sender host, extra
    QList<bool> repeated; // of each message
    int failWith = 0;
    void Message(const Datagram& d, bool) override
    {
        repeated << d.repeated;
        Record(QStringLiteral("Message"), d);
    }
    void ReadNotice(const Datagram& d) override { Record(QStringLiteral("ReadNotice"), d); }
    void Record(const QString& kind, const Datagram& d)
    {
        calls << QStringLiteral("%1 %2 %3 %4").arg(kind).arg(d.command).arg(d.senderHost, d.extra);
        if (failWith)
            throw Failure(failWith);
    }
};

/// One program, PC01 at 10.0.0.1, and raw peers on its subnet and another.
struct DispatcherTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("10.0.0.1"));
    std::unique_ptr<VirtualSocket> near =
        lan.CreateSocket(QStringLiteral("PC02"), QStringLiteral("10.0.0.2"));
    std::unique_ptr<VirtualSocket> far =
        lan.CreateSocket(QStringLiteral("PC07"), QStringLiteral("10.0.7.9"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    Program p{*socket, boxes, clock};
    MemberTable members;
    Dispatcher dispatcher{p, members};
    RecordingHandler handler;
    int arrivals = 0;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(socket->Bind(1001), 0);
        ASSERT_EQ(near->Bind(1001), 0);
        ASSERT_EQ(far->Bind(1001), 0);
        p.settings.path = dir.filePath(QStringLiteral("x.ini"));
        p.port = 1001;
        p.messageCode = QStringLiteral("000000020");
        p.userNameText = QStringLiteral("taro");
        InitBrdAddr(p);
        dispatcher.SetMessageHandler(&handler);
        // Connected after the dispatcher, so a counted datagram has been handled.
        QObject::connect(socket.get(), &UdpSocket::DataArrival, [this] { ++arrivals; });
    }

    /// Sends text from a peer and waits until the program has handled it.
    void Send(VirtualSocket& from, const QString& text) { SendBytes(from, Cp932::Encode(text)); }
    void SendBytes(VirtualSocket& from, const QByteArray& bytes)
    {
        const int before = arrivals;
        from.SetRemoteHost(QStringLiteral("10.0.0.1"));
        from.SetRemotePort(1001);
        ASSERT_EQ(from.SendBytes(bytes), 0);
        ASSERT_TRUE(WaitUntil([&] { return arrivals > before; }));
    }
    void Send(const QString& text) { Send(*near, text); }

    /// Datagrams the program sent, as "host text".
    QStringList Replies() const
    {
        QStringList out;
        for (const auto& d : lan.Sent()) {
            if (d.fromIP == QLatin1String("10.0.0.1"))
                out << d.toHost + QLatin1Char(' ') + Cp932::Decode(d.bytes);
        }
        return out;
    }

    /// Every row, cells joined by "|".
    QStringList Rows() const
    {
        QStringList out;
        for (int r = 1; r <= members.Count(); ++r) {
            QStringList cells;
            for (int c = 0; c < MemberTable::ColumnCount; ++c)
                cells << members.Text(r, c);
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }

    /// The two answers to an entry, numbered from first, as Replies() lists them.
    static QStringList Answers(const QString& to, int first)
    {
        return {QStringLiteral("%1 1:%2:taro:PC01:3:").arg(to).arg(first) + kNul,
                QStringLiteral("%1 1:%2:taro:PC01:6291459:").arg(to).arg(first + 1) + kNul};
    }

    void AddRow(const QString& host, const QString& user, const QString& ip)
    {
        const int r = members.Add(host);
        members.SetText(r, MemberTable::ColUser, user);
        members.SetText(r, MemberTable::ColIP, ip);
    }

    /// The user closes the error box and waits out the minute before another may show.
    void CloseErrorBoxAndWait()
    {
        boxes.CloseNotices();
        clock.AdvanceSeconds(60);
    }

    QStringList ErrorNumbers() const
    {
        QStringList out;
        for (const auto& box : boxes.shown)
            out << box.text.section(QStringLiteral("\r\n"), 2, 2);
        return out;
    }
};

} // namespace

TEST_F(DispatcherTest, EntryFromANewHostAddsItsRowAndIsAnsweredInBothCodeSets)
{
    const struct {
        bool foreign;
        const char* header;
        QString extra;
        const char* row;
        const char* listed;
    } table[] = {
        {false, "1:9:hanako:PC02:1:", QStringLiteral("ハナ") + kNul + QStringLiteral("grp") + kNul,
         "PC02|ハナ||10.0.0.2|||", "<none>"},
        {false, "1:9:hanako:PC02:6291457:", kFourNuls, "PC02|hanako||10.0.0.2|||", "<none>"},
        {true, "1:9:jiro:PC07:1:", kFourNuls, "PC07|jiro||10.0.7.9|||", "10.0.7.255"},
    };
    for (const auto& row : table) {
        members.Clear();
        lan.ClearSent();
        p.packetNo = 30;
        Send(row.foreign ? *far : *near, QString::fromUtf8(row.header) + row.extra);
        EXPECT_EQ(Rows(), QStringList{QString::fromUtf8(row.row)}) << row.header;
        EXPECT_EQ(p.settings.GetIni(QStringLiteral("BRD_CAST"), QStringLiteral("BRC_IP_0"),
                                    QStringLiteral("<none>")),
                  QString::fromLatin1(row.listed));
        EXPECT_EQ(Replies(), Answers(row.foreign ? "10.0.7.9" : "10.0.0.2", 31));
    }
}

TEST_F(DispatcherTest, OwnEntryComesBackAndIsAnsweredWithoutASecondRow)
{
    SendEntry(p);
    // Two entries (own subnet first and last), each answered twice to ourselves.
    ASSERT_TRUE(WaitUntil([&] { return arrivals == 6; }));
    test::RunEventsFor(20);
    EXPECT_EQ(arrivals, 6);
    EXPECT_EQ(Rows(), QStringList{"PC01|taro||10.0.0.1|||"});
    EXPECT_EQ(Replies().mid(2), Answers("10.0.0.1", 2) + Answers("10.0.0.1", 4));
    EXPECT_TRUE(ReadBrdList(p.settings).isEmpty());
}

TEST_F(DispatcherTest, KnownHostIsAnsweredAndWhileAbsentAlsoToldSo)
{
    for (const bool absent : {false, true}) {
        members.Clear();
        lan.ClearSent();
        AddRow(QStringLiteral("PC02"), QStringLiteral("old"), QStringLiteral("10.0.0.9"));
        dispatcher.SetAbsenceMode([absent] { return absent; });
        p.packetNo = 0;
        Send("1:9:new:PC02:1:nick" + kFourNuls);
        EXPECT_EQ(Rows(), QStringList{"PC02|old||10.0.0.9|||"});
        QStringList expected = Answers("10.0.0.2", 1);
        if (absent)
            expected << "10.0.0.2 1:3:taro:PC01:260:" + kFourNuls
                     << "10.0.0.2 1:4:taro:PC01:6291716:" + kFourNuls;
        EXPECT_EQ(Replies(), expected) << absent;
    }
}

TEST_F(DispatcherTest, PresenceAndReceiptsChangeOnlyTheRowsTheyName)
{
    AddRow(QStringLiteral("PC02"), QStringLiteral("hanako"), QStringLiteral("10.0.0.2"));
    AddRow(QStringLiteral("PC03"), QStringLiteral("saburo"), QStringLiteral("10.0.0.3"));
    for (int r : {1, 2}) {
        members.SetText(r, MemberTable::ColSealed, QStringLiteral("18"));
        members.SetText(r, MemberTable::ColStandard, QString::number(16 + r));
        members.SetText(r, MemberTable::ColSendTime, QStringLiteral("09:05:0%1").arg(r));
    }
    const QString pc02 = QStringLiteral("PC02|hanako||10.0.0.2|18|17|09:05:01");
    const QString pc03 = QStringLiteral("PC03|saburo||10.0.0.3|18||");
    const QString pc03x = QStringLiteral("PC03|saburo|×|10.0.0.3|18||");
    const QString pc04 = QStringLiteral("PC04|shiro||10.0.0.2|||");
    const struct {
        const char* header;
        QStringList rows;
    } steps[] = {
        {"1:1:x:PC09:33:99", {pc02, "PC03|saburo||10.0.0.3|18|18|09:05:02"}},
        {"1:2:x:PC09:33:18", {pc02, pc03}}, // the standard column only
        {"1:3:x:PC03:260:", {pc02, pc03x}},
        {"1:4:x:PC03:4:", {pc02, pc03}},
        {"1:5:x:PC03:6291716:", {pc02, pc03x}},
        {"1:6:x:PC03:6291460:", {pc02, pc03}},
        {"1:7:x:PC09:260:", {pc02, pc03}},
        {"1:8:x:PC09:2:", {pc02, pc03}},
        {"1:9:x:PC03:3:", {pc02, pc03}},                  // known: unchanged
        {"1:10:shiro:PC04:6291459:", {pc02, pc03, pc04}}, // new: added
        {"1:11:x:PC02:2:", {pc03, pc04}},
        {"1:12:x:PC04:6291458:", {pc03}},
        {"1:13:x:PC03:99:", {pc03}},
    };
    for (const auto& step : steps) {
        Send(QString::fromLatin1(step.header) + kNul);
        EXPECT_EQ(Rows(), step.rows) << step.header;
    }
    EXPECT_TRUE(Replies().isEmpty());
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// Bytes that are not code page 932 but are UTF-8 are read as UTF-8, in both
// modes. What a sender writes unambiguously is remembered: bytes that read
// either way (UTF-8 "こんにちは" is code page 932 too), or neither way (a text
// cut in the middle of a character), are read as it writes.
TEST_F(DispatcherTest, TextIsReadInTheEncodingItIsValidIn)
{
    const QByteArray both = QStringLiteral("こんにちは").toUtf8();
    const QByteArray cp932 = Cp932::Encode(QStringLiteral("こんにちは"));
    const QByteArray utf8 = QStringLiteral("テスト").toUtf8();
    const QByteArray cut = QStringLiteral("テス").toUtf8() + "\xE3";
    const QString hello = QStringLiteral("こんにちは");
    const struct {
        VirtualSocket* from;
        QByteArray text;
        QString read;
    } steps[] = {
        {near.get(), both, Cp932::Decode(both)}, // nothing known: code page 932, as ever
        {near.get(), cp932, hello},
        {near.get(), utf8, QStringLiteral("テスト")},
        {near.get(), both, hello}, // PC02 writes UTF-8
        {near.get(), cut, QStringLiteral("テス\uFFFD")},
        {far.get(), both, Cp932::Decode(both)}, // PC07 has told nothing
        {far.get(), cut, Cp932::Decode(cut)},
        {near.get(), cp932, hello}, // PC02 writes code page 932 again
        {near.get(), both, Cp932::Decode(both)},
    };
    for (const bool emulation : {false, true}) {
        p.settings.IP_MSG = QString::fromLatin1(emulation ? "1" : "");
        p.messageCode = QString::fromLatin1(emulation ? "000000288" : "000000020");
        const QByteArray header = emulation ? "1:5:u:PC:288:" : "1:5:u:PC:20:";
        for (const auto& step : steps) {
            handler.calls.clear();
            SendBytes(*step.from, header + step.text + '\0');
            ASSERT_EQ(handler.calls.size(), 1);
            EXPECT_EQ(handler.calls[0].section(QLatin1Char(' '), 3), step.read)
                << step.text.toHex().toStdString() << " emulation " << emulation;
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(DispatcherTest, MalformedDatagramsShowTheErrorBoxWithTheirNumber)
{
    const struct {
        QString text;
        const char* number; // nullptr: ignored silently
    } table[] = {
        {"1:5:u:PC02:1", "(5:)"},
        {"1:5:u:PC02:1:", "(5:)"},
        {"1:5:u:PC02:1:" + kNul, nullptr},
        {"1:5:u:PC02:abc:" + kNul, "(13:)"},
        {"1:5:u:PC02:12a:" + kNul, "(13:)"},
        {"1:5:u:PC02::" + kNul, nullptr},
        {"1:5:u:PC02:4294967297:" + kNul, "(6:)"},
        {"1:5:u:PC02:2147483648:" + kNul, "(6:)"},
        {"1:5:u:PC02:33:x" + kNul, "(13:)"},
        {"hello", "(13:)"},
    };
    QStringList expected;
    for (const auto& row : table) {
        CloseErrorBoxAndWait();
        Send(row.text);
        if (row.number)
            expected << QString::fromLatin1(row.number);
        EXPECT_EQ(ErrorNumbers(), expected) << row.text.toStdString();
    }
    // The one well-formed entry got its row.
    EXPECT_EQ(members.Count(), 1);
}

TEST_F(DispatcherTest, ErrorBoxWordingForAFailureInTheMessageHandler)
{
    handler.failWith = 10054;
    Send("1:5:u:PC02:20:hi" + kNul);
    ASSERT_EQ(boxes.shown.size(), 1);
    const BoxRequest& box = boxes.shown[0];
    EXPECT_EQ(box.title, QStringLiteral("送受信できませんでした。(^-^;"));
    EXPECT_EQ(
        box.text,
        QStringLiteral(
            "メッセージ送受信時に、謎の通信エラーが発生しました。\r\n\r\n"
            "(10054:接続がリモート側からリセットされた )\r\n\r\n"
            "通信相手に問題が発生したか、受信不可能なメッセージが送信された可能性があります。\r\n"
            "送受信メッセージは、ネットの藻屑と消えました。"));
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_EQ(box.icon, BoxIcon::None);
}

TEST_F(DispatcherTest, OneErrorBoxAtATimeThenNoneForAMinuteAfterItCloses)
{
    const QString bad = "1:5:u:PC02:abc:" + kNul;
    Send(bad);
    // Open: further failures are dropped, other datagrams still handled.
    for (int i = 0; i < 5; ++i)
        Send(bad);
    Send("1:6:hanako:PC02:1:" + kFourNuls);
    Send(*far, "1:7:u:PC07:1");
    EXPECT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(Rows(), QStringList{"PC02|hanako||10.0.0.2|||"});
    EXPECT_EQ(Replies().size(), 2);

    // Closed: a datagram every half second must not bring it straight back.
    boxes.CloseNotices();
    Send(bad);
    clock.AdvanceSeconds(59);
    Send(bad);
    EXPECT_EQ(boxes.shown.size(), 1);
    clock.AdvanceSeconds(1);
    Send(bad);
    EXPECT_EQ(boxes.shown.size(), 2);

    // A clock set back an hour after a close silences it no longer than a minute.
    boxes.CloseNotices();
    clock.AdvanceSeconds(-3600);
    Send(bad);
    clock.AdvanceSeconds(60);
    Send(bad);
    EXPECT_EQ(boxes.shown.size(), 3);
}

TEST_F(DispatcherTest, AnErrorBoxClosedAfterItsDispatcherIsGoneIsHarmless)
{
    auto socket3 = lan.CreateSocket(QStringLiteral("PC03"), QStringLiteral("10.0.0.3"));
    ASSERT_EQ(socket3->Bind(1001), 0);
    ScriptedMessageBoxes boxes3;
    Program other{*socket3, boxes3, clock};
    auto dispatcher3 = std::make_unique<Dispatcher>(other, members);
    near->SetRemoteHost(QStringLiteral("10.0.0.3"));
    near->SetRemotePort(1001);
    ASSERT_EQ(near->SendData("1:5:u:PC02:abc:" + kNul), 0);
    ASSERT_TRUE(WaitUntil([&] { return boxes3.shown.size() == 1; }));
    dispatcher3.reset();
    boxes3.CloseNotices(); // AddressSanitizer tells if this touches the dispatcher
}

TEST_F(DispatcherTest, MessagesAndReadNoticesReachTheHandler)
{
    const struct {
        const char* messageCode;
        const char* command;
        const char* call; // nullptr: ignored
    } table[] = {
        {"000000020", "20", "Message 20"},
        {"000000020", "800", "Message 800"},
        {"000000020", "33568", "Message 33568"},
        {"000000020", "1049376", "Message 1049376"},
        {"000000020", "1082144", "Message 1082144"},
        {"000000020", "544", "Message 544"},
        {"000000020", "48", "ReadNotice 48"},
        {"000000020", "1048624", "ReadNotice 1048624"},
        {"000000020", "288", nullptr},
        {"000000020", "32", nullptr},
        {"000000288", "288", "Message 288"},
        {"000000288", "20", nullptr},
    };
    for (const auto& row : table) {
        handler.calls.clear();
        p.messageCode = QString::fromLatin1(row.messageCode);
        Send(QStringLiteral("1:5:u:PC02:%1:body").arg(QLatin1String(row.command)) + kNul
             + QStringLiteral(":t:ok:0") + kNul);
        const QStringList expected =
            row.call ? QStringList{QString::fromLatin1(row.call) + " PC02 body" + kNul + ":t:ok:"}
                     : QStringList{};
        EXPECT_EQ(handler.calls, expected) << row.messageCode << " " << row.command;
    }
    EXPECT_EQ(members.Count(), 0);
    EXPECT_TRUE(Replies().isEmpty());
}

TEST_F(DispatcherTest, BroadcastSourcesAreNeitherAnsweredNorListedButTheirMessagesPassOn)
{
    // Emulation mode, so that a key request (114) is answered too.
    p.settings.IP_MSG = QStringLiteral("1");
    for (const char* address : {"10.0.7.255", "10.0.7.0", "10.0.0.255"}) {
        auto source = lan.CreateSocket(QStringLiteral("PC08"), QString::fromLatin1(address));
        ASSERT_EQ(source->Bind(1001), 0);
        handler.calls.clear();
        for (const char* command : {"1", "3", "114", "20"})
            Send(*source, QStringLiteral("1:5:u:PC08:%1:x").arg(QLatin1String(command)) + kNul);
        EXPECT_EQ(handler.calls, QStringList{"Message 20 PC08 x"}) << address;
    }
    EXPECT_TRUE(Replies().isEmpty());
    EXPECT_TRUE(Rows().isEmpty());
    EXPECT_TRUE(ReadBrdList(p.settings).isEmpty());

    // What no virtual host can send from, and what is answered as before.
    for (const char* address : {"255.255.255.255", "224.0.0.1", "239.1.2.3", "0.0.0.7"})
        EXPECT_FALSE(IsAnswerable(p, QString::fromLatin1(address))) << address;
    for (const char* address : {"10.0.0.1", "10.0.7.9", "223.1.2.3", "10.0.0.254", "my.pc"})
        EXPECT_TRUE(IsAnswerable(p, QString::fromLatin1(address))) << address;
}

TEST_F(DispatcherTest, APacketNumberTooLongToEchoMakesAMalformedMessage)
{
    const QString fullWidth(16, QChar(0xFF11)); // two bytes each in code page 932
    const struct {
        QString number;
        bool passed;
    } table[] = {
        {QString(32, u'7'), true},                // the most it echoes
        {fullWidth, true},                        // 32 bytes in 16 characters
        {QString(33, u'7'), false},               // one byte over
        {fullWidth + QStringLiteral("1"), false}, // 33 bytes
        {QString(20000, u'7'), false},            // came back two or three times
    };
    QStringList expectedBoxes;
    for (const auto& row : table) {
        handler.calls.clear();
        CloseErrorBoxAndWait();
        Send("1:" + row.number + ":u:PC02:20:x" + kNul);
        if (!row.passed)
            expectedBoxes << QStringLiteral("(5:)");
        EXPECT_EQ(handler.calls.size(), row.passed ? 1 : 0) << row.number.size();
        EXPECT_EQ(ErrorNumbers(), expectedBoxes) << row.number.size();
    }
    // Only messages echo theirs.
    CloseErrorBoxAndWait();
    Send("1:" + QString(40, u'7') + ":u:PC02:1:" + kFourNuls);
    EXPECT_EQ(members.Count(), 1);
    EXPECT_EQ(ErrorNumbers().size(), 3);
}

TEST_F(DispatcherTest, ColonsInAPeersNamesDoNotShiftItsFields)
{
    auto socket3 = lan.CreateSocket(QStringLiteral("PC:03"), QStringLiteral("10.0.0.3"));
    ASSERT_EQ(socket3->Bind(1001), 0);
    ScriptedMessageBoxes boxes3;
    Program peer{*socket3, boxes3, clock};
    peer.settings.path = dir.filePath(QStringLiteral("peer.ini"));
    peer.port = 1001;
    peer.userNameText = QStringLiteral("a:b");
    InitBrdAddr(peer);
    SendEntry(peer);
    ASSERT_TRUE(WaitUntil([&] { return arrivals == 2; }));
    EXPECT_EQ(Rows(), QStringList{"PC：03|a：b||10.0.0.3|||"});
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(DispatcherTest, AnswersToAnAddressThatHasOnlySentEntriesAreRateLimited)
{
    // A forged source sends nothing but entries; a host that talks is verified
    // by anything else it sends (here a receipt, a message).
    const auto priorities = [&] {
        QList<SendPriority> out;
        for (const auto& d : lan.Sent()) {
            if (d.fromIP == QLatin1String("10.0.0.1"))
                out << d.priority;
        }
        return out;
    };
    const SendPriority stranger = SendPriority::AnswerToStranger;
    const SendPriority verified = SendPriority::Answer;
    Send("1:1:hanako:PC02:1:" + kFourNuls);
    Send("1:2:x:PC09:33:99" + kNul);
    Send("1:3:hanako:PC02:1:" + kFourNuls);
    Send(*far, "1:4:jiro:PC07:1:" + kFourNuls);
    Send(*far, "1:5:jiro:PC07:20:hi" + kNul);
    Send(*far, "1:6:jiro:PC07:1:" + kFourNuls);
    EXPECT_EQ(priorities(), (QList<SendPriority>{stranger, stranger, verified, verified, stranger,
                                                 stranger, verified, verified}));
}

// A copy of a message from the same address and port is passed on marked as
// a retransmission, in both modes; from another port it is a message.
TEST_F(DispatcherTest, RetransmittedMessagesArePassedOnMarked)
{
    auto otherPort = lan.CreateSocket(QStringLiteral("PC02"), QStringLiteral("10.0.0.2"));
    ASSERT_EQ(otherPort->Bind(1002), 0);
    for (const char* command : {"20", "288"}) {
        p.settings.IP_MSG = QString::fromLatin1(command == QLatin1String("20") ? "" : "1");
        p.messageCode = QString::fromLatin1(command);
        handler.repeated.clear();
        const QString message =
            QStringLiteral("1:5:u:PC02:%1:hi").arg(QLatin1String(command)) + kNul;
        Send(message);
        Send(message);
        Send(*otherPort, message);
        EXPECT_EQ(handler.repeated, (QList<bool>{false, true, false})) << command;
    }
}

TEST(RecentDatagramsTest, OnlyTheSameBytesFromTheSameSourceWithinTwoMinutesRepeat)
{
    RecentDatagrams recent;
    const QString address = QStringLiteral("10.0.0.2");
    const QByteArray message = QByteArrayLiteral("1:5:u:PC02:32:hi");
    QDateTime t(QDate(2026, 2, 3), QTime(9, 0));
    EXPECT_FALSE(recent.Repeats(message, address, 2425, t));
    EXPECT_TRUE(recent.Repeats(message, address, 2425, t.addSecs(119)));
    // Same packet number, other bytes: a peer restarted counts from 1 again.
    EXPECT_FALSE(recent.Repeats("1:5:u:PC02:32:ho", address, 2425, t.addSecs(119)));
    EXPECT_FALSE(recent.Repeats(message, address, 2426, t.addSecs(119)));
    EXPECT_FALSE(recent.Repeats(message, QStringLiteral("10.0.0.3"), 2425, t.addSecs(119)));
    // The window runs from the last copy.
    EXPECT_TRUE(recent.Repeats(message, address, 2425, t.addSecs(200)));
    EXPECT_FALSE(recent.Repeats(message, address, 2425, t.addSecs(320)));
    // A clock set back an hour makes nothing a repeat for that hour.
    EXPECT_FALSE(recent.Repeats(message, address, 2425, t.addSecs(320 - 3600)));
}

TEST(RecentDatagramsTest, FullItForgetsTheOldestFirst)
{
    RecentDatagrams recent;
    const QDateTime t(QDate(2026, 2, 3), QTime(9, 0));
    const auto datagram = [](int i) { return QByteArray::number(i); };
    for (int i = 0; i < 100000; ++i)
        recent.Repeats(datagram(i), QStringLiteral("10.0.0.2"), 2425, t);
    EXPECT_EQ(recent.Count(), RecentDatagrams::kMaxEntries);
    EXPECT_TRUE(recent.Repeats(datagram(99999), QStringLiteral("10.0.0.2"), 2425, t));
    EXPECT_FALSE(recent.Repeats(datagram(0), QStringLiteral("10.0.0.2"), 2425, t));
}
