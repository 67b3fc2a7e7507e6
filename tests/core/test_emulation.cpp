#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "protocol/CommandCodes.h"
#include "protocol/Datagram.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"
#include "protocol/PeerEncodings.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "support/Printing.h"
#include "support/Wait.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wibblet;
using Kind = Dispatcher::Kind;
using test::WaitUntil;

TEST(EmulationDispatch, ListedNumbersKeepTheirHandlingInBothModes)
{
    const struct {
        qint32 command;
        Kind kind;
    } listed[] = {
        {1, Kind::Entry},
        {6291457, Kind::Entry},
        {2, Kind::Exit},
        {6291458, Kind::Exit},
        {3, Kind::Answer},
        {6291459, Kind::Answer},
        {260, Kind::Absent},
        {6291716, Kind::Absent},
        {4, Kind::Present},
        {6291460, Kind::Present},
        {48, Kind::ReadNotice},
        {1048624, Kind::ReadNotice},
        {33, Kind::Receipt},
        {800, Kind::SealedMessage},
        {33568, Kind::SealedMessage},
        {1049376, Kind::SealedMessage},
        {1082144, Kind::SealedMessage},
        {544, Kind::Message},
    };
    for (const auto& row : listed) {
        for (const bool emulation : {false, true}) {
            const qint32 messageCode = emulation ? 288 : 20;
            EXPECT_EQ(Dispatcher::Classify(row.command, messageCode, emulation), row.kind)
                << row.command << " emulation " << emulation;
        }
    }
    EXPECT_EQ(Dispatcher::Classify(20, 20, false), Kind::Message);
    EXPECT_EQ(Dispatcher::Classify(288, 288, true), Kind::Message);
}

TEST(EmulationDispatch, OtherNumbersGoByTheirLowByteOnlyInEmulationMode)
{
    const struct {
        qint32 command;
        Kind emulated;
    } cases[] = {
        {257, Kind::Entry},            // iptux's entry: 0x101
        {259, Kind::Answer},           // 0x103
        {289, Kind::Receipt},          // 0x121
        {65538, Kind::Exit},           // 0x10002
        {0x100120, Kind::Message},     // SENDCHECKOPT and READCHECKOPT, not sealed
        {0x920, Kind::Message},        // MULTICASTOPT, SENDCHECKOPT
        {0x2320, Kind::SealedMessage}, // AUTORETOPT with both sealing bits
        {0x1000104, Kind::Absent},
        {0x1000004, Kind::Present},
        {0x130, Kind::ReadNotice},
        {0x72, Kind::GetPubKey},
        {0x400072, Kind::GetPubKey},
        {0x60, Kind::Ignored}, // file-transfer requests and the like
        {0x10, Kind::Ignored},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Dispatcher::Classify(c.command, 288, true), c.emulated) << c.command;
        EXPECT_EQ(Dispatcher::Classify(c.command, 20, false), Kind::Ignored) << c.command;
    }
}

namespace {

// Keeps the text of every message the dispatcher hands on.
struct MessageTexts : MessageHandler {
    QStringList texts;
    void Message(const Datagram& d, bool) override { texts.append(CutAtNul(d.extra)); }
    void ReadNotice(const Datagram&) override {}
};

// One program in emulation mode on 2425 and a raw peer that speaks like an
// IP Messenger client.
struct EmulationTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("10.0.0.1"));
    std::unique_ptr<VirtualSocket> peer =
        lan.CreateSocket(QStringLiteral("labA"), QStringLiteral("10.0.0.5"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    Program p{*socket, boxes, clock};
    MemberTable members;
    Dispatcher dispatcher{p, members};
    QList<Datagram> toPeer;

    void SetUp() override
    {
        ASSERT_EQ(socket->Bind(2425), 0);
        ASSERT_EQ(peer->Bind(2425), 0);
        p.settings.path = dir.filePath(QStringLiteral("x.ini"));
        p.settings.IP_MSG = QStringLiteral("1");
        p.port = 2425;
        p.messageCode = QStringLiteral("000000288");
        p.userNameText = QStringLiteral("taro");
        InitBrdAddr(p);
        QObject::connect(peer.get(), &UdpSocket::DataArrival, peer.get(), [this] {
            toPeer.append(Datagram::Parse(peer->GetData(), peer->RemoteHostIP()));
        });
    }
    void SendBytes(const QByteArray& bytes)
    {
        peer->SetRemoteHost(QStringLiteral("10.0.0.1"));
        peer->SetRemotePort(2425);
        ASSERT_EQ(peer->SendBytes(bytes), 0);
        test::RunEventsFor(20);
    }
};

} // namespace

TEST_F(EmulationTest, IptuxEntryInUtf8JoinsTheListUnderItsNickname)
{
    SendBytes(QStringLiteral("1_iptux 0.8.3:1:root:labA:%1:ラボＡ").arg(0x800101).toUtf8()
              + QByteArray("\0labgrp\0icon-tux.png\0utf-8\0", 27));
    ASSERT_EQ(members.Count(), 1);
    EXPECT_EQ(members.Text(1, MemberTable::ColUser), QStringLiteral("ラボＡ"));
    EXPECT_TRUE(boxes.shown.isEmpty());
    // A peer that writes UTF-8 is answered in UTF-8, with the flag.
    ASSERT_EQ(toPeer.size(), 2);
    EXPECT_EQ(toPeer[0].command, 3 | 0x800000);
    EXPECT_EQ(toPeer[1].command, 6291459 | 0x800000);

    // Its exit carries a flag above the command.
    SendBytes(QByteArrayLiteral("1_iptux 0.8.3:2:root:labA:65538:\0"));
    EXPECT_EQ(members.Count(), 0);
}

TEST_F(EmulationTest, ReceiptWithOptionBitsClearsTheWatch)
{
    SendBytes(QByteArrayLiteral("1_iptux 0.8.3:1:root:labA:257:labA\0labgrp\0"));
    ASSERT_EQ(members.Count(), 1);
    members.SetText(1, MemberTable::ColStandard, QStringLiteral("41"));
    members.SetText(1, MemberTable::ColSendTime, QStringLiteral("09:05:00"));
    SendBytes(QByteArrayLiteral("1_iptux 0.8.3:3:root:labA:289:41\0"));
    EXPECT_TRUE(members.Text(1, MemberTable::ColStandard).isEmpty());
    EXPECT_TRUE(members.Text(1, MemberTable::ColSendTime).isEmpty());
}

TEST_F(EmulationTest, KeyRequestIsAnsweredWithNoCipher)
{
    SendBytes(QByteArrayLiteral("1:77:win:labA:114:21003\0"));
    ASSERT_EQ(toPeer.size(), 1);
    EXPECT_EQ(toPeer[0].command, 0x73);
    EXPECT_EQ(toPeer[0].text.mid(toPeer[0].c[5]), QStringLiteral("0:0-0") + QChar(u'\0'));
    EXPECT_EQ(toPeer[0].senderHost, QStringLiteral("PC01"));
}

TEST_F(EmulationTest, Utf8IsHonouredOnlyWithItsFlag)
{
    MessageTexts handler;
    dispatcher.SetMessageHandler(&handler);
    const QString text = QStringLiteral("こんにちは");
    SendBytes("1:5:u:labA:" + QByteArray::number(0x800120) + ":" + text.toUtf8() + '\0');
    SendBytes("1:6:u:labA:288:" + QByteArray("\x82\xb1\x82\xf1", 4) + '\0'); // code page 932
    ASSERT_EQ(handler.texts.size(), 2);
    EXPECT_EQ(handler.texts[0], text);
    EXPECT_EQ(handler.texts[1], QStringLiteral("こん"));

    // The program's own mode knows no such flag.
    p.settings.IP_MSG.clear();
    p.messageCode = QStringLiteral("000000020");
    SendBytes("1:7:u:labA:20:" + QByteArray("\x82\xb1", 2) + '\0');
    EXPECT_EQ(handler.texts.last(), QStringLiteral("こ"));
}

namespace {

// What the program sent to host, each datagram's bytes.
QList<QByteArray> SentTo(const VirtualLan& lan, const QString& host)
{
    QList<QByteArray> out;
    for (const auto& d : lan.Sent()) {
        if (d.fromIP == QLatin1String("10.0.0.1") && d.toHost == host)
            out << d.bytes;
    }
    return out;
}

} // namespace

// iptux 0.8.3 writes UTF-8 without the flag and sends no capability option:
// its bytes tell. Its name is listed as written, and it is answered in UTF-8
// with the flag, our name going as nickname.
TEST_F(EmulationTest, IptuxWritingUtf8WithoutTheFlagIsReadAndAnsweredInUtf8)
{
    MessageTexts handler;
    dispatcher.SetMessageHandler(&handler);
    p.userNameText = QStringLiteral("太郎");
    SendBytes("1_iptux 0.8.3:1:root:labA:257:" + QStringLiteral("いぷ花子").toUtf8()
              + QByteArray("\0\0icon-tux.png\0utf-8\0", 21));
    ASSERT_EQ(members.Count(), 1);
    EXPECT_EQ(members.Text(1, MemberTable::ColUser), QStringLiteral("いぷ花子"));
    const QString nick = QStringLiteral("太郎") + QChar(u'\0') + QChar(u'\0');
    EXPECT_EQ(
        SentTo(lan, QStringLiteral("10.0.0.5")),
        (QList<QByteArray>{(QStringLiteral("1:1:太郎:PC01:%1:").arg(0x800003) + nick).toUtf8(),
                           (QStringLiteral("1:2:太郎:PC01:%1:").arg(0xE00003) + nick).toUtf8()}));

    // What it writes later is UTF-8 even where the bytes would read as code
    // page 932 too ("こんにちは" does).
    SendBytes("1_iptux 0.8.3:2:root:labA:288:" + QStringLiteral("こんにちは").toUtf8() + '\0');
    EXPECT_EQ(handler.texts, QStringList{QStringLiteral("こんにちは")});

    // Gone: whoever comes next on its address is taken for code page 932.
    SendBytes(QByteArrayLiteral("1_iptux 0.8.3:3:root:labA:65538:\0"));
    lan.ClearSent();
    SendBytes(QByteArrayLiteral("1:1:u:labB:1:\0"));
    const QList<QByteArray> answers = SentTo(lan, QStringLiteral("10.0.0.5"));
    ASSERT_EQ(answers.size(), 2);
    EXPECT_TRUE(answers[0].startsWith(Cp932::Encode(QStringLiteral("1:3:太郎:PC01:3:"))));
}

// iptux reads UTF-8 with the flag in either of its settings, and writes to
// us in the encoding we write to it: it gets UTF-8 even when nothing it has
// sent tells (an ASCII nickname), and what it sends that reads either way
// is UTF-8. Its code page 932, before it has had text from us, still reads.
TEST_F(EmulationTest, IptuxIsAnsweredInUtf8AndReadAsUtf8WhatReadsEitherWay)
{
    MessageTexts handler;
    dispatcher.SetMessageHandler(&handler);
    SendBytes(QByteArrayLiteral("1_iptux 0.8.3:1:root:labA:257:hanako\0\0icon-tux.png\0utf-8\0"));
    const QList<QByteArray> answers = SentTo(lan, QStringLiteral("10.0.0.5"));
    ASSERT_EQ(answers.size(), 2);
    EXPECT_EQ(Datagram::Parse(QString::fromLatin1(answers[0]), QString()).command, 0x800003);
    EXPECT_EQ(Datagram::Parse(QString::fromLatin1(answers[1]), QString()).command, 0xE00003);

    SendBytes("1_iptux 0.8.3:2:root:labA:288:" + Cp932::Encode(QStringLiteral("こんばんは"))
              + '\0');
    SendBytes("1_iptux 0.8.3:3:root:labA:288:" + QStringLiteral("こんにちは").toUtf8() + '\0');
    // Another client on the address, writing the same bytes, has told nothing.
    SendBytes("1:4:u:labA:288:" + QStringLiteral("こんにちは").toUtf8() + '\0');
    EXPECT_EQ(handler.texts,
              (QStringList{QStringLiteral("こんばんは"), QStringLiteral("こんにちは"),
                           Cp932::Decode(QStringLiteral("こんにちは").toUtf8())}));
}

TEST(PeerEncodingsTest, AFloodOfUtf8SourcesFillsNoMoreThanTheBound)
{
    PeerEncodings encodings;
    const QByteArray utf8 = "1:1:u:h:32:" + QStringLiteral("テスト").toUtf8();
    for (int i = 0; i < 5000; ++i)
        encodings.Decode(utf8, QStringLiteral("10.%1.%2.1").arg(i / 256).arg(i % 256), false);
    EXPECT_EQ(encodings.Count(), PeerEncodings::kMaxPeers);
    EXPECT_TRUE(encodings.TakesUtf8(QStringLiteral("10.0.0.1")));
    EXPECT_FALSE(encodings.TakesUtf8(QStringLiteral("10.19.135.1")));
    // A peer known for nothing but code page 932 takes no room.
    encodings.Decode("1:1:u:h:32:" + Cp932::Encode(QStringLiteral("テスト")),
                     QStringLiteral("10.0.0.1"), false);
    EXPECT_FALSE(encodings.TakesUtf8(QStringLiteral("10.0.0.1")));
    EXPECT_EQ(encodings.Count(), PeerEncodings::kMaxPeers - 1);
}

// In emulation mode our entries, absence packets and answers carry the user
// name as nickname with an empty group; the own mode keeps its NULs. A
// broadcast that carries more than ASCII goes in UTF-8 with the flag in
// emulation mode (iptux would take code page 932 for GB18030); answers to a
// code page 932 peer go in code page 932.
TEST_F(EmulationTest, OurNameGoesAsNicknameOnlyInEmulationMode)
{
    const QString nul(1, QChar(u'\0'));
    for (const QString& name : {QStringLiteral("太郎"), QStringLiteral("taro")}) {
        p.userNameText = name;
        for (const bool emulation : {true, false}) {
            p.settings.IP_MSG = QString::fromLatin1(emulation ? "1" : "");
            lan.ClearSent();
            dispatcher.SetAbsenceMode([] { return false; });
            SendEntry(p);
            SendAbsence(p, ReqAbsent);
            SendAbsence(p, ReqPresent);
            SendExit(p);
            dispatcher.SetAbsenceMode([] { return true; });
            SendBytes(QByteArrayLiteral("1:1:u:labA:1:\0"));

            QStringList sent;
            for (const char* to : {"10.0.0.255", "10.0.0.5"}) {
                for (const QByteArray& bytes : SentTo(lan, QString::fromLatin1(to))) {
                    Datagram d = Datagram::Parse(Cp932::Decode(bytes), QString());
                    if (d.command & 0x800000)
                        d = Datagram::Parse(QString::fromUtf8(bytes), QString());
                    sent << QStringLiteral("%1 %2 ").arg(d.command).arg(d.senderName)
                                + d.text.mid(d.c[5]);
                }
            }
            const QString nick = emulation ? name + nul + nul : nul.repeated(4);
            const QString answer = emulation ? nick : nul;
            const qint32 b = emulation && name != QLatin1String("taro") ? 0x800000 : 0;
            const auto line = [&](qint32 command, const QString& extra) {
                return QStringLiteral("%1 %2 ").arg(command).arg(name) + extra;
            };
            const QStringList expected{
                line(1 | b, nick), line(1 | b, nick),     line(260 | b, nick), line(260 | b, nick),
                line(4 | b, nick), line(4 | b, nick),     line(2 | b, nul),    line(2 | b, nul),
                line(3, answer),   line(6291459, answer), line(260, nick),     line(6291716, nick),
            };
            EXPECT_EQ(sent, expected) << name.toStdString() << " emulation " << emulation;
        }
    }
}

// iptux sets the absence option (0x100) on every presence packet, its entry
// included, and sends 0x104 with its new nick name when its preferences are
// saved. IP Messenger sets the option only while away (on its entry only when
// away at start). A presence packet renames the row in this mode.
TEST_F(EmulationTest, AbsenceOptionMeansAbsentOnlyFromPeersWhoseEntryLacksIt)
{
    const auto row = [this] {
        const int r = members.chkMember(QStringLiteral("labA"));
        return members.Text(r, MemberTable::ColUser) + QLatin1Char('|')
               + members.Text(r, MemberTable::ColPresence);
    };
    int packetNo = 0;
    const auto send = [this, &packetNo](qint32 command, const QString& nickname) {
        const QString text =
            QStringLiteral("1:%1:root:labA:%2:%3").arg(++packetNo).arg(command).arg(nickname);
        SendBytes(((command & 0x800000) ? text.toUtf8() : Cp932::Encode(text))
                  + QByteArray("\0grp\0", 5));
    };
    const struct {
        qint32 command;
        const char* nickname;
        const char* row; // user name | presence mark afterwards
    } steps[] = {
        // iptux: its entry, then its preferences saved with a new nick name.
        {0x800101, "ラボＡ", "ラボＡ|"},
        {0x800104, "ラボＢ", "ラボＢ|"},
        {0x800103, "ラボＣ", "ラボＣ|"},
        // IP Messenger on the same host: its answer, away, back.
        {0x600003, "win", "win|"},
        {0x400104, "win[外出]", "win[外出]|×"},
        {0x400004, "win", "win|"},
        // Away at start: its entry carries the option, its return does not.
        {0x400101, "win[会議]", "win[会議]|"},
        {0x400004, "win", "win|"},
        {0x400104, "win[昼食]", "win[昼食]|×"},
    };
    for (const auto& step : steps) {
        send(step.command, QString::fromUtf8(step.nickname));
        EXPECT_EQ(row().toStdString(), step.row) << std::hex << step.command;
    }

    // What is kept of a host goes with its row: after iptux's exit, a row for
    // the same name that no entry made (a message's sender) heeds the option.
    send(0x800101, QStringLiteral("ラボＡ"));
    send(0x800002, QString());
    ASSERT_EQ(members.Count(), 0);
    members.Add(QStringLiteral("labA"));
    send(0x400104, QStringLiteral("win[外出]"));
    EXPECT_EQ(row().toStdString(), "win[外出]|×");
}
