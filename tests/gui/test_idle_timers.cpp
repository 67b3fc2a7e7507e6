// An idle program has no timer running: the tray tick, the delivery watch
// and the slot tick each run only while they have something to do.
#include "kit/LanProgram.h"
#include "msgwin/frmPopupCl.h"
#include "platform/Cp932.h"
#include "protocol/MessageBody.h"
#include "support/Wait.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wibblet;
using test::LanProgram;
using test::WaitUntil;

namespace {

struct IdleTimersTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<LanProgram> me;

    void SetUp() override
    {
        me = std::make_unique<LanProgram>(lan, dir.path(), QStringLiteral("ME"),
                                          QStringLiteral("10.0.0.1"));
        ASSERT_TRUE(me->main.Form_Load());
    }

    QTimer* Timer(const char* name) const
    {
        return me->main.findChild<QTimer*>(QString::fromLatin1(name));
    }
    bool AnyTimerActive() const
    {
        for (const QTimer* timer : me->main.findChildren<QTimer*>()) {
            if (timer->isActive())
                return true;
        }
        return false;
    }
    // Datagrams from a second host, as raw text.
    void Send(VirtualSocket& from, const QString& text)
    {
        from.SetRemoteHost(QStringLiteral("10.0.0.1"));
        from.SetRemotePort(1001);
        from.SendData(text);
    }
};

} // namespace

TEST_F(IdleTimersTest, NothingTicksOnceTheTipShowsTheCount)
{
    ASSERT_NE(Timer("timTimer2"), nullptr);
    ASSERT_NE(Timer("timTimer3"), nullptr);
    // The own entry comes back and lists this host; the tick catches the tip
    // up and stops.
    ASSERT_TRUE(WaitUntil([&] { return me->main.members().Count() == 1; }));
    EXPECT_TRUE(Timer("timTimer2")->isActive());
    ASSERT_TRUE(WaitUntil([&] { return !AnyTimerActive(); }, 2000));
    EXPECT_EQ(me->tray.Tip(), QStringLiteral("Wibblet(1)"));

    // Another host joining starts it again, just long enough.
    auto other = lan.CreateSocket(QStringLiteral("OTHER"), QStringLiteral("10.0.0.2"));
    other->Bind(1001);
    Send(*other, QStringLiteral("1:1:hanako:OTHER:1:") + QString(4, QChar(u'\0')));
    ASSERT_TRUE(WaitUntil([&] { return me->main.members().Count() == 2; }));
    EXPECT_TRUE(Timer("timTimer2")->isActive());
    ASSERT_TRUE(WaitUntil([&] { return me->tray.Tip() == QStringLiteral("Wibblet(2)"); }, 2000));
    ASSERT_TRUE(WaitUntil([&] { return !AnyTimerActive(); }, 2000));
}

TEST_F(IdleTimersTest, AHeldMessageFlashesUntilItIsShownThenTheTickStops)
{
    ASSERT_TRUE(WaitUntil([&] { return me->main.members().Count() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return !AnyTimerActive(); }, 2000));

    me->boxes.answers.enqueue(BoxAnswer::Ok);
    me->main.mnuNonPopup_Click();
    ASSERT_TRUE(me->main.AbsenceMode());
    auto peer = lan.CreateSocket(QStringLiteral("PEER"), QStringLiteral("10.0.0.9"));
    peer->Bind(1001);
    const QString body = WriteBody(QStringLiteral("held"), QStringLiteral("t"), QStringLiteral("o"),
                                   0, false, QString(), QString());
    Send(*peer, QStringLiteral("1:9:taro:PEER:20:") + body);
    ASSERT_TRUE(WaitUntil([&] { return me->main.flasher().NonPopMsg(); }));
    EXPECT_TRUE(Timer("timTimer2")->isActive());

    // Real ticks flash: the letter comes up within three of them.
    ASSERT_TRUE(WaitUntil([&] { return me->tray.Picture() == TrayPicture::Letter; }, 2000));
    EXPECT_TRUE(me->tray.Tip().endsWith(QStringLiteral("メッセージあり")));
    EXPECT_TRUE(Timer("timTimer2")->isActive());

    // Back from absence: the held window shows on the next turn, the plain
    // tip is back after one tick, and nothing runs any more.
    me->main.mnuNonPopup_Click();
    ASSERT_TRUE(WaitUntil([&] { return !me->main.flasher().NonPopMsg(); }, 100));
    ASSERT_TRUE(WaitUntil([&] { return me->tray.Tip() == me->main.flasher().PlainTip(); }, 400));
    EXPECT_EQ(me->tray.Picture(), TrayPicture::Main);
    EXPECT_FALSE(Timer("timTimer2")->isActive());

    // Dismissing the window runs the slot tick once.
    frmPopupCl* window = me->main.popups().PopCl().value(0);
    ASSERT_TRUE(window);
    window->cmdOK()->click();
    EXPECT_TRUE(Timer("timTimer3")->isActive());
    ASSERT_TRUE(WaitUntil([&] { return !me->main.popups().PopCl().value(0); }));
    ASSERT_TRUE(WaitUntil([&] { return !AnyTimerActive(); }, 2000));
}
