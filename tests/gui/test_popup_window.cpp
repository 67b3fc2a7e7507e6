#include "kit/ScriptedMessageBoxes.h"
#include "msgwin/frmPopupCl.h"
#include "platform/gui/Screen.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace wibblet {
namespace {

const QString kDetailTail = QStringLiteral(" のページ違反です。\r\n"
                                           "モジュール : KERNEL32.DLL、アドレス : 015f:bff88833\r\n"
                                           "Registers:\r\n"
                                           "EAX=c0030114 CS=015f EIP=bff88833 EFLGS=00010212\r\n"
                                           "EBX=0062fc50 SS=0167 ESP=0052fff8 EBP=00530004\r\n"
                                           "ECX=8173df28 DS=0167 ESI=817313e4 FS=1c37\r\n"
                                           "EDX=bff768d5 ES=0167 EDI=005300ac GS=0000\r\n"
                                           "Bytes at CS:EIP:\r\n"
                                           "53 56 8b 0d d8 9d fc bf 57 33 f6 8b 38 8b 19 89\r\n"
                                           "Stack dump:\r\n"
                                           "\r\n");

struct Popup {
    ScriptedMessageBoxes boxes;
    frmPopupCl w;
    explicit Popup(QStringList names = {QStringLiteral("EXPLORER.EXE")}) : w(names, boxes) {}
    template <typename T> T* Find(const QString& name) { return w.findChild<T*>(name); }
    QLabel* Label(const char* name) { return Find<QLabel>(QString::fromLatin1(name)); }
    QWidget* Picture(int i) { return Find<QLabel>(QStringLiteral("picIcon%1").arg(i)); }
    QMenu* Menu() { return Find<QMenu>(QStringLiteral("mnuMain")); }
};

void ExpectNormalLayout(Popup& p)
{
    const QSize screen = Screen::Size();
    EXPECT_EQ(p.w.size(), QSize(480, 182));
    EXPECT_EQ(p.w.pos(), QPoint(screen.width() / 2 - 240, screen.height() / 2 - 91));
    EXPECT_EQ(p.w.cmdOK()->geometry(), QRect(208, 120, 85, 21));
    EXPECT_TRUE(p.Find<QPushButton>(QStringLiteral("cmdDummy"))->isHidden());
    EXPECT_TRUE(p.Label("lblDetail")->isHidden());
}

TEST(PopupWindow, EveryIconButTheCrashGivesTheNormalLayoutWithItsPicture)
{
    struct Case {
        qint32 icon;
        int picture;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3},  {5, 5}, {6, 6},
                          {7, 7}, {8, 8}, {9, 9}, {12, 9}, {-1, 9}};
    Popup p;
    ExpectNormalLayout(p); // as loaded
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(p.Picture(i)->isHidden()) << i;
    EXPECT_EQ(p.w.windowTitle(), QString());
    EXPECT_EQ(p.w.cmdOK()->text(), QStringLiteral("実行"));
    EXPECT_TRUE(p.w.cmdSecret()->isHidden());

    p.w.set_Form(QStringLiteral("x"), QStringLiteral("t"), QStringLiteral("o"), 4);
    for (const Case& c : cases) {
        p.w.set_Form(QStringLiteral("<b>本文</b>"), QStringLiteral("題"), QStringLiteral("了解"),
                     c.icon);
        ExpectNormalLayout(p);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(!p.Picture(i)->isHidden(), i == c.picture)
                << "icon " << c.icon << " pic " << i;
        EXPECT_EQ(p.w.windowTitle(), QStringLiteral("題"));
        EXPECT_EQ(p.Label("lblMSG")->text(), QStringLiteral("<b>本文</b>"));
        EXPECT_EQ(p.Label("lblMSG")->textFormat(), Qt::PlainText);
        EXPECT_EQ(p.w.cmdOK()->text(), QStringLiteral("了解"));
    }
}

TEST(PopupWindow, CrashIconGivesTheCrashLayoutBlamingEveryListedProgramOverTime)
{
    const QStringList names = {QStringLiteral("A.EXE"), QStringLiteral("B.EXE"),
                               QStringLiteral("C.EXE")};
    Popup p(names);
    QLabel* detail = p.Label("lblDetail");
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        p.w.set_Form(QStringLiteral("落ちた"), QStringLiteral("致命的なエラー(嘘)"),
                     QStringLiteral("確認"), 4);
        ASSERT_TRUE(names.contains(p.w.CrashedProgram()));
        ASSERT_EQ(detail->text(), p.w.CrashedProgram() + kDetailTail);
        seen.insert(p.w.CrashedProgram());
    }
    EXPECT_EQ(seen.size(), 3);

    const QSize screen = Screen::Size();
    EXPECT_EQ(p.w.size(), QSize(576, 417));
    EXPECT_EQ(p.w.pos(), QPoint(screen.width() / 2 - 288, screen.height() / 2 - 208));
    EXPECT_EQ(p.w.cmdOK()->geometry(), QRect(472, 8, 85, 21));
    EXPECT_FALSE(p.Find<QPushButton>(QStringLiteral("cmdDummy"))->isHidden());
    EXPECT_FALSE(detail->isHidden());
    EXPECT_EQ(detail->geometry(), QRect(8, 136, 553, 241));
    EXPECT_FALSE(p.Picture(4)->isHidden());
    EXPECT_EQ(p.w.windowTitle(), QStringLiteral("致命的なエラー(嘘)"));
}

TEST(PopupWindow, OkAndReplyDismissTheWindow)
{
    for (const bool reply : {false, true}) {
        Popup p;
        p.w.PopClID = 7;
        p.w.set_Form(QStringLiteral("本文"), QStringLiteral("題"), QStringLiteral("OK"), 0);
        p.w.show();
        QStringList events;
        QObject::connect(&p.w, &frmPopupCl::Dismissed,
                         [&](qint32 id) { events << QString::number(id); });
        QObject::connect(&p.w, &frmPopupCl::ReplyRequested,
                         [&] { events << QStringLiteral("reply"); });
        if (reply)
            p.w.mnuRes()->trigger();
        else
            QTest::mouseClick(p.w.cmdOK(), Qt::LeftButton);
        const QStringList expected = reply ? QStringList{"7", "reply"} : QStringList{"7"};
        EXPECT_EQ(events, expected);
        EXPECT_FALSE(p.w.isVisible());
        EXPECT_TRUE(p.w.windowState() & Qt::WindowMinimized);
        EXPECT_EQ(p.Label("lblMSG")->text(), QString());
        EXPECT_EQ(p.w.windowTitle(), QStringLiteral("題"));
        EXPECT_FALSE(p.w.IsClosed());
    }
}

TEST(PopupWindow, CopyPutsTheTextOnTheClipboardAndSaysSo)
{
    Popup p;
    const QString text = QStringLiteral("時刻：12：00\r\n場所：食堂");
    p.w.set_Form(text, QStringLiteral("題"), QStringLiteral("OK"), 1);
    QApplication::clipboard()->setText(QStringLiteral("old"));
    p.Find<QAction>(QStringLiteral("mnuCopy"))->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    ASSERT_EQ(p.boxes.shown.size(), 1);
    const BoxRequest& box = p.boxes.shown.first();
    EXPECT_EQ(box.text, QStringLiteral("表示中のメッセージを、クリップボードにコピーしました。\r\n"
                                       "メモ帳等に貼り付けて、内容を確認することが出来ます。"));
    EXPECT_EQ(box.title, QString());
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_EQ(box.icon, BoxIcon::None);
    EXPECT_TRUE(box.systemModal);
}

TEST(PopupWindow, FocusRestsOnTheTextWithoutCaretAndTheOpenButtonUncovers)
{
    Popup p;
    p.w.set_Form(QStringLiteral("本文"), QStringLiteral("題"), QStringLiteral("OK"), 0);
    p.w.show();
    p.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p.w));
    // The keys the user may still be typing press nothing, and nothing
    // takes text: no caret blinks anywhere in the window.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focus, p.Find<QWidget>(QStringLiteral("scrMSG")));
    QSignalSpy dismissed(&p.w, &frmPopupCl::Dismissed);
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_A})
        QTest::keyClick(focus, key);
    EXPECT_EQ(dismissed.count(), 0);
    EXPECT_TRUE(p.w.isVisible());
    EXPECT_FALSE(focus->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(p.w.findChildren<QLineEdit*>().isEmpty());
    for (QPushButton* button : p.w.findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault() || button->autoDefault())
            << button->objectName().toStdString();

    p.w.cmdSecret()->show();
    p.w.cmdOK()->hide();
    QSignalSpy opened(&p.w, &frmPopupCl::SecretOpened);
    QTest::mouseClick(p.w.cmdSecret(), Qt::LeftButton);
    EXPECT_EQ(opened.count(), 1);
    EXPECT_FALSE(p.w.cmdSecret()->isVisible());
    EXPECT_TRUE(p.w.cmdOK()->isVisible());
    p.w.close();
    EXPECT_TRUE(p.w.IsClosed());
}

TEST(PopupWindow, RightPressOpensTheMenuOnlyOnTextAndBackground)
{
    struct Case {
        const char* target; // empty: the window background
        Qt::MouseButton button;
        bool opens;
    };
    const Case cases[] = {{"lblMSG", Qt::RightButton, true}, {"lblDetail", Qt::RightButton, true},
                          {"", Qt::RightButton, true},       {"lblMSG", Qt::LeftButton, false},
                          {"", Qt::MiddleButton, false},     {"picIcon4", Qt::RightButton, false},
                          {"cmdOK", Qt::RightButton, false}, {"cmdDummy", Qt::RightButton, false}};
    Popup p;
    p.w.set_Form(QStringLiteral("本文"), QStringLiteral("題"), QStringLiteral("OK"), 4);
    p.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.w));
    for (const Case& c : cases) {
        QWidget* target = *c.target ? p.w.findChild<QWidget*>(QString::fromLatin1(c.target)) : &p.w;
        // Bottom-right corner of the window is bare background.
        const QPoint at =
            *c.target ? target->rect().center() : QPoint(p.w.width() - 3, p.w.height() - 3);
        QTest::mousePress(target, c.button, {}, at);
        EXPECT_EQ(p.Menu()->isVisible(), c.opens) << c.target << " " << c.button;
        p.Menu()->hide();
        QTest::mouseRelease(target, c.button, {}, at);
    }
}

} // namespace
} // namespace wibblet
