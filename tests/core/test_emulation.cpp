#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "protocol/Datagram.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
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
    ASSERT_EQ(toPeer.size(), 2);
    EXPECT_EQ(toPeer[0].command, 3);
    EXPECT_EQ(toPeer[1].command, 6291459);

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
    struct Handler : MessageHandler {
        QStringList texts;
        void Message(const Datagram& d, bool) override { texts.append(CutAtNul(d.extra)); }
        void ReadNotice(const Datagram&) override {}
    } handler;
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
