#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "mainwin/frmAbout.h"
#include "mainwin/frmMain.h"
#include "mainwin/frmOpenNotice.h"
#include "msgwin/frmPopup.h"
#include "msgwin/frmPopupCl.h"
#include "platform/Cp932.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramFile.h"
#include "platform/gui/TrayIcon.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTreeView>

#include "support/Wait.h"

#include <gtest/gtest.h>

#include <functional>

using namespace wibblet;

namespace {

// The observable tray, on a desktop that may have no tray at all.
struct SwitchableTray : TrayIcon {
    bool available = true;
    bool Available() const override { return available; }
    // Set, the icon is "drawn" only when the test calls drawn.
    bool drawLate = false;
    std::function<void()> drawn;
    void WhenDrawn(int timeoutMs, QObject* context, std::function<void()> then) override
    {
        if (drawLate)
            drawn = std::move(then);
        else
            TrayIcon::WhenDrawn(timeoutMs, context, std::move(then));
    }
};

// One program on the virtual LAN, started from its own program file.
struct Copy {
    Copy(VirtualLan& lan, const QString& programFile, const QString& host = QStringLiteral("PC01"),
         const QString& ip = QStringLiteral("10.0.0.1"), const QString& configHome = QString())
        : socket(lan.CreateSocket(host, ip)),
          main(Environment{*socket, boxes, clock, tray, lock, programFile, [this] { ++ended; },
                           configHome})
    {
    }
    std::unique_ptr<VirtualSocket> socket;
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    SwitchableTray tray;
    InstanceLock lock;
    int ended = 0;
    frmMain main;
};

struct StartupTest : ::testing::Test {
    QTemporaryDir dir;
    VirtualLan lan;
    QString programFile = dir.filePath(QStringLiteral("wibblet"));
    QString iniPath = dir.filePath(QStringLiteral("wibblet.ini"));

    void SetUp() override
    {
        QFile program(programFile);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    }
    QString Ini()
    {
        QFile f(iniPath);
        return f.open(QIODevice::ReadOnly) ? Cp932::Decode(f.readAll()) : QString();
    }
    void WriteIni(const QString& text)
    {
        QFile f(iniPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Cp932::Encode(text));
    }
};

} // namespace

TEST_F(StartupTest, FirstStartCreatesTheSettingsFileAndBinds1001)
{
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    EXPECT_EQ(Ini(), QStringLiteral("[DEFAULT]\r\nDEF_TITLE=致命的なエラー(嘘)\r\nDEF_OK=確認\r\n"
                                    "[ERROR]\r\nERR_CNT=0\r\nERR_EXE_0=EXPLORER.EXE\r\n"
                                    "[BSC_CFG]\r\nSECRET_OK=\r\nIP_MSG=\r\nUSER_NAME=PC01\r\n"));
    EXPECT_TRUE(copy.socket->IsBound());
    EXPECT_EQ(copy.socket->LocalPort(), 1001);
    EXPECT_EQ(copy.main.program().messageCode, QStringLiteral("000000020"));
    EXPECT_TRUE(copy.tray.Shown());
    EXPECT_EQ(copy.tray.Tip(), QStringLiteral("Wibblet(0)"));
    EXPECT_FALSE(copy.main.isVisible());
    EXPECT_EQ(copy.main.findChild<QLineEdit*>(QStringLiteral("txtUser"))->text(),
              QStringLiteral("PC01"));
    EXPECT_EQ(copy.main.findChild<QLineEdit*>(QStringLiteral("txtUserName"))->text(),
              QStringLiteral("PC01"));
    EXPECT_TRUE(copy.boxes.shown.isEmpty());
    EXPECT_EQ(copy.ended, 0);
}

TEST_F(StartupTest, WithoutATrayTheWindowShowsAtStartMinimizesLikeAnyWindowAndOffersTheMenu)
{
    Copy copy(lan, programFile);
    copy.tray.available = false;
    ASSERT_TRUE(copy.main.Form_Load());
    EXPECT_TRUE(copy.main.isVisible());
    copy.main.showMinimized();
    test::RunEventsFor(50);
    EXPECT_TRUE(copy.main.isMinimized());
    EXPECT_TRUE(copy.main.isVisible());
    // The tray's menu, reached from the window instead.
    copy.main.showNormal();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                            copy.main.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&copy.main, &click);
    auto* menu = copy.main.findChild<QMenu*>(QStringLiteral("mnuMain"));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

// The first text box loads the fonts, tens of milliseconds: the entry goes
// out before the window's controls exist, with a tray or without, and they
// are there once start-up is through.
TEST_F(StartupTest, TheEntryGoesOutBeforeTheWindowsControlsAreBuilt)
{
    for (const bool trayAvailable : {true, false}) {
        Copy copy(lan, programFile);
        copy.tray.available = trayAvailable;
        int entries = 0;
        bool controlsAtEntry = false;
        lan.refuse = [&](const VirtualLan::Datagram& datagram) {
            if ((datagram.bytes.split(':').value(4).toLongLong() & 0xFF) == 1 && entries++ == 0)
                controlsAtEntry = copy.main.findChild<QLineEdit*>() != nullptr;
            return 0;
        };
        ASSERT_TRUE(copy.main.Form_Load());
        lan.refuse = nullptr;
        EXPECT_GT(entries, 0);
        EXPECT_FALSE(controlsAtEntry) << "tray " << trayAvailable;
        EXPECT_TRUE(copy.main.findChild<QLineEdit*>(QStringLiteral("txtHost")));
        EXPECT_EQ(copy.main.isVisible(), !trayAvailable);
    }
}

// Until the tray has drawn its icon the windows' controls do not exist: what
// the LAN sends meanwhile is handled all the same, the user may open the
// window, and the controls are built once, with the texts start-up set.
TEST_F(StartupTest, WhatArrivesBeforeTheWindowsAreBuiltIsHandled)
{
    Copy copy(lan, programFile);
    copy.tray.drawLate = true;
    ASSERT_TRUE(copy.main.Form_Load());
    ASSERT_FALSE(copy.main.findChild<QLineEdit*>(QStringLiteral("txtHost")));
    const std::unique_ptr<VirtualSocket> peer =
        lan.CreateSocket(QStringLiteral("PC02"), QStringLiteral("10.0.0.2"));
    peer->Bind(1001);
    peer->SetRemoteHost(QStringLiteral("10.0.0.1"));
    peer->SetRemotePort(1001);
    const auto send = [&](int packetNo, int command, const QString& extra) {
        peer->SendData(QStringLiteral("1:%1:hanako:PC02:%2:").arg(packetNo).arg(command) + extra);
    };
    const QString nul(1, QChar(u'\0'));
    send(1, 1, QStringLiteral("hanako") + nul);         // entry
    send(2, 260, QStringLiteral("hanako[away]") + nul); // absence
    send(3, 20, QStringLiteral("hello") + nul);         // message
    send(4, 800, QStringLiteral("sealed") + nul);       // sealed message
    send(5, 33, QStringLiteral("123") + nul);           // receipt for nothing sent
    ASSERT_TRUE(test::WaitUntil([&] { return copy.main.popups().OnScreen() == 2; }));
    EXPECT_EQ(copy.main.members().Count(), 2);

    copy.main.mnuResize_Click();
    auto* host = copy.main.findChild<QLineEdit*>(QStringLiteral("txtUser"));
    ASSERT_TRUE(host);
    EXPECT_EQ(host->text(), QStringLiteral("PC01"));
    EXPECT_EQ(copy.main.findChild<QTreeView*>(QStringLiteral("lsvMember"))->model()->rowCount(), 2);
    copy.tray.drawn();
    EXPECT_EQ(copy.main.findChildren<QLineEdit*>(QStringLiteral("txtUser")).size(), 1);
    EXPECT_TRUE(copy.main.Compose());
}

TEST_F(StartupTest, EmulationModeBinds2425AndChecksItsMenuItem)
{
    WriteIni(QStringLiteral("[BSC_CFG]\r\nIP_MSG=1\r\nSECRET_OK=1\r\nUSER_NAME=taro\r\n"));
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    EXPECT_EQ(copy.socket->LocalPort(), 2425);
    EXPECT_EQ(copy.main.program().messageCode, QStringLiteral("000000288"));
    EXPECT_TRUE(copy.main.findChild<QAction*>(QStringLiteral("mnuIP_MSG"))->isChecked());
    EXPECT_TRUE(copy.main.findChild<QAction*>(QStringLiteral("mnuSecretOk"))->isChecked());
    EXPECT_EQ(copy.main.program().userNameText, QStringLiteral("taro"));
}

TEST_F(StartupTest, SecondCopyEndsSilentlyAndChangesNothing)
{
    Copy first(lan, programFile);
    ASSERT_TRUE(first.main.Form_Load());
    const QString before = Ini();
    lan.ClearSent();

    Copy second(lan, programFile);
    EXPECT_FALSE(second.main.Form_Load());
    EXPECT_EQ(second.ended, 1);
    EXPECT_FALSE(second.socket->IsBound());
    EXPECT_FALSE(second.tray.Shown());
    EXPECT_TRUE(second.boxes.shown.isEmpty());
    EXPECT_TRUE(lan.Sent().isEmpty());
    EXPECT_EQ(Ini(), before);
}

TEST_F(StartupTest, TakenPortGivesTheBindFailureBoxOnceAndRunsOn)
{
    auto other = lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("10.0.0.1"));
    ASSERT_EQ(other->Bind(1001), 0);
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    ASSERT_EQ(copy.boxes.shown.size(), 1);
    const BoxRequest& box = copy.boxes.shown.first();
    EXPECT_EQ(box.text, QStringLiteral(
                            "WinSock コントロールにて、ポートのバインドに失敗しました。\r\nWibblet "
                            "を再起動してください。"));
    EXPECT_EQ(box.Caption(), QStringLiteral("Wibblet"));
    EXPECT_EQ(box.icon, BoxIcon::Critical);
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_FALSE(copy.socket->IsBound());
    EXPECT_EQ(copy.ended, 0);
    EXPECT_TRUE(copy.tray.Shown());
}

TEST_F(StartupTest, QuitAsksAndClosingDoesNot)
{
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());

    copy.boxes.answers.enqueue(BoxAnswer::No);
    copy.main.cmdEnd_Click();
    ASSERT_EQ(copy.boxes.shown.size(), 1);
    EXPECT_EQ(copy.boxes.shown.last().text, QStringLiteral("Wibblet を終了してよろしいですか？"));
    EXPECT_EQ(copy.boxes.shown.last().buttons, BoxButtons::YesNo);
    EXPECT_EQ(copy.boxes.shown.last().icon, BoxIcon::None);
    EXPECT_EQ(copy.ended, 0);
    EXPECT_TRUE(copy.tray.Shown());

    copy.boxes.answers.enqueue(BoxAnswer::Yes);
    copy.main.mnuEnd_Click();
    EXPECT_EQ(copy.ended, 1);
    EXPECT_FALSE(copy.tray.Shown());

    Copy closing(lan, dir.filePath(QStringLiteral("other")), QStringLiteral("PC02"),
                 QStringLiteral("10.0.0.2"));
    QFile(dir.filePath(QStringLiteral("other"))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(closing.main.Form_Load());
    closing.main.show();
    closing.main.close();
    EXPECT_EQ(closing.ended, 1);
    EXPECT_FALSE(closing.tray.Shown());
    EXPECT_TRUE(closing.boxes.shown.isEmpty());
}

TEST_F(StartupTest, SealedSwitchFlipsAndIsWrittenAtOnce)
{
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    auto* item = copy.main.findChild<QAction*>(QStringLiteral("mnuSecretOk"));
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(Ini().contains(QStringLiteral("SECRET_OK=1\r\n")));
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(Ini().contains(QStringLiteral("SECRET_OK=\r\n")));
    EXPECT_TRUE(copy.main.program().settings.SECRET_OK.isEmpty());
}

TEST_F(StartupTest, UserNameFieldRefusesAnEmptyName)
{
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    copy.main.show();
    QApplication::setActiveWindow(&copy.main);
    auto* userName = copy.main.findChild<QLineEdit*>(QStringLiteral("txtUserName"));
    auto* host = copy.main.findChild<QLineEdit*>(QStringLiteral("txtUser"));

    userName->setFocus();
    userName->setText(QStringLiteral("花子"));
    host->setFocus();
    ASSERT_TRUE(
        test::WaitUntil([&] { return Ini().contains(QStringLiteral("USER_NAME=花子\r\n")); }));
    EXPECT_EQ(copy.main.program().settings.USER_NAME, QStringLiteral("花子"));

    userName->setFocus();
    userName->clear();
    host->setFocus();
    ASSERT_TRUE(test::WaitUntil([&] { return copy.boxes.shown.size() == 1; }));
    EXPECT_EQ(copy.boxes.shown.first().text, QStringLiteral("ユーザ名を入力してください。"));
    EXPECT_TRUE(test::WaitUntil([&] { return userName->hasFocus(); }));
    EXPECT_TRUE(Ini().contains(QStringLiteral("USER_NAME=花子\r\n")));
    EXPECT_EQ(copy.main.program().settings.USER_NAME, QStringLiteral("花子"));
}

// Every caption of every window fits its rectangle in the fonts the windows
// are drawn in, and no control lies over it (a label running on behind its
// box is cut as surely as a narrow one). ctest runs this at QT_SCALE_FACTOR
// 1, 1.5 and 2: glyph advances are rounded at the device's pixels.
namespace {

QString WithoutMnemonic(QString text)
{
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

int TextWidth(const QFontMetrics& metrics, const QString& text)
{
    int width = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

// The room a control has for its caption, where it lays the caption out
// and the pixels its glyphs ink, in its parent's coordinates; no text for
// controls without a caption.
struct Caption {
    QString text;
    QRect room;
    QRect drawn;
    QRect ink;
};

Caption CaptionOf(QWidget* control)
{
    Caption caption;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (label->wordWrap() || !label->pixmap().isNull())
            return {};
        caption.text = label->text();
        caption.room = label->contentsRect();
        alignment = label->alignment();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption.text = WithoutMnemonic(button->text());
        const bool push = qobject_cast<QPushButton*>(control);
        const auto element = push                                ? QStyle::SE_PushButtonContents
                             : qobject_cast<QCheckBox*>(control) ? QStyle::SE_CheckBoxContents
                                                                 : QStyle::SE_RadioButtonContents;
        caption.room = button->style()->subElementRect(element, &option, button);
        if (push)
            alignment = Qt::AlignCenter;
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        caption.text = group->title();
        caption.room = group->contentsRect();
        alignment = Qt::AlignLeft | Qt::AlignTop;
    }
    const QFontMetrics metrics = control->fontMetrics();
    const QStringList lines = caption.text.split(QLatin1Char('\n'));
    const QSize size(TextWidth(metrics, caption.text), metrics.lineSpacing() * lines.size());
    caption.drawn = QStyle::alignedRect(Qt::LeftToRight, alignment, size, caption.room)
                        .translated(control->pos());
    caption.room.translate(control->pos());
    for (qsizetype i = 0; i < lines.size(); ++i)
        caption.ink |= metrics.tightBoundingRect(lines[i]).translated(
            caption.drawn.left(),
            caption.drawn.top() + metrics.ascent() + i * metrics.lineSpacing());
    return caption;
}

void ExpectCaptionsFit(QWidget* window)
{
    window->show();
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window) || control->isWindow())
            continue;
        const Caption caption = CaptionOf(control);
        if (caption.text.isEmpty())
            continue;
        SCOPED_TRACE(qPrintable(QStringLiteral("%1 %2 \"%3\" in %4, ink at %5,%6 %7x%8")
                                    .arg(window->objectName(), control->metaObject()->className(),
                                         caption.text, QFontInfo(control->font()).family())
                                    .arg(caption.ink.left())
                                    .arg(caption.ink.top())
                                    .arg(caption.ink.width())
                                    .arg(caption.ink.height())));
        EXPECT_LE(caption.drawn.width(), caption.room.width());
        QWidget* parent = control->parentWidget();
        EXPECT_TRUE(parent->rect().contains(caption.ink)) << "runs off its window";
        // The controls above it in the stacking order, with a pixel to spare
        // on the right, so that a colon does not touch its box.
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(control) + 1; i < siblings.size(); ++i) {
            auto* above = qobject_cast<QWidget*>(siblings[i]);
            if (above && above->isVisibleTo(window)
                && (qobject_cast<QLineEdit*>(above) || qobject_cast<QAbstractButton*>(above)
                    || qobject_cast<QAbstractScrollArea*>(above))) {
                EXPECT_FALSE(caption.ink.adjusted(0, 0, 1, 0).intersects(above->geometry()))
                    << "covered by " << qPrintable(above->objectName());
            }
        }
    }
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        menu->ensurePolished();
        menu->adjustSize();
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            EXPECT_LE(menu->fontMetrics().horizontalAdvance(WithoutMnemonic(action->text())),
                      menu->actionGeometry(action).width())
                << qPrintable(action->text());
        }
    }
}

} // namespace

TEST_F(StartupTest, TextFitEveryWindow)
{
    SCOPED_TRACE(qPrintable(QStringLiteral("QT_SCALE_FACTOR=")
                            + qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"))));
    Copy copy(lan, programFile);
    ASSERT_TRUE(copy.main.Form_Load());
    for (QLabel* label : copy.main.findChildren<QLabel*>())
        label->show(); // the absence label too
    ExpectCaptionsFit(&copy.main);
    ExpectCaptionsFit(copy.main.ShowCompose());

    frmAbout about(&copy.main);
    ExpectCaptionsFit(&about);
    frmOpenNotice notice(&copy.main);
    notice.SetDate(QStringLiteral("(12/31 23:59)"));
    ExpectCaptionsFit(&notice);

    frmPopupCl received(QStringList{QStringLiteral("EXPLORER.EXE")}, copy.boxes);
    received.mnuRes()->setText(QStringLiteral("PC01 へ返信"));
    received.set_Form(QStringLiteral("本文"), QStringLiteral("題"), QStringLiteral("確認"), 0);
    ExpectCaptionsFit(&received);
    received.cmdOK()->hide();
    received.cmdSecret()->show();
    ExpectCaptionsFit(&received);
    received.cmdSecret()->hide();
    received.cmdOK()->show();
    received.set_Form(QStringLiteral("本文"), QStringLiteral("致命的なエラー(嘘)"),
                      QStringLiteral("確認"), 4);
    ExpectCaptionsFit(&received);
}

// Installed for everyone, the program's folder is root's: each user's settings
// and single copy go to their own config folder. Root may write anywhere, so
// the folder here is one that does not exist.
TEST_F(StartupTest, UnwritableProgramFolderKeepsSettingsAndTheLockInTheConfigFolder)
{
    const QString config = dir.filePath(QStringLiteral("home/.config"));
    Copy beside(lan, programFile, QStringLiteral("PC02"), QStringLiteral("10.0.0.2"), config);
    ASSERT_TRUE(beside.main.Form_Load());
    EXPECT_TRUE(Ini().contains(QStringLiteral("USER_NAME=PC02\r\n")));
    EXPECT_FALSE(QDir(config).exists());

    const QString installed = dir.filePath(QStringLiteral("usr/lib/wibblet/wibblet"));
    Copy copy(lan, installed, QStringLiteral("PC01"), QStringLiteral("10.0.0.1"), config);
    ASSERT_TRUE(copy.main.Form_Load());
    iniPath = config + QStringLiteral("/wibblet/wibblet.ini");
    EXPECT_TRUE(Ini().contains(QStringLiteral("USER_NAME=PC01\r\n")));
    EXPECT_EQ(QFile::permissions(config + QStringLiteral("/wibblet")),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
                  | QFile::WriteUser | QFile::ExeUser);

    Copy second(lan, installed, QStringLiteral("PC01"), QStringLiteral("10.0.0.1"), config);
    EXPECT_FALSE(second.main.Form_Load());
    EXPECT_EQ(second.ended, 1);
    EXPECT_FALSE(QDir(dir.filePath(QStringLiteral("usr"))).exists());
}

TEST(ConfigHome, IsXdgConfigHomeWhenAbsoluteElseDotConfigInHome)
{
    EXPECT_EQ(ProgramFile::ConfigHome(QStringLiteral("/xdg/cfg"), QStringLiteral("/home/u")),
              QStringLiteral("/xdg/cfg"));
    EXPECT_EQ(ProgramFile::ConfigHome(QString(), QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.config"));
    EXPECT_EQ(ProgramFile::ConfigHome(QStringLiteral("rel/cfg"), QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.config"));
}
