#include "platform/gui/JapaneseQtTexts.h"
#include "platform/gui/QtMessageBoxes.h"
#include "platform/gui/Screen.h"
#include "platform/gui/TrayIcon.h"
#include "support/Printing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

// The resources live in a static library; nothing else pulls them in here.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace wibblet {
namespace {

// ---- Screen -------------------------------------------------------------

TEST(Screen, OffscreenPlatformIs96Dpi)
{
    ASSERT_DOUBLE_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    EXPECT_DOUBLE_EQ(Screen::TwipsPerPixel(), 15.0);
}

TEST(Screen, ConvertsTwipsAndPixelsRounded)
{
    struct Case {
        int twips;
        int px;
    };
    // 7 twips is under half a pixel, 8 is over.
    const Case toPx[] = {{0, 0}, {7, 0}, {8, 1}, {15, 1}, {4395, 293}, {1440, 96}, {-8, -1}};
    for (const Case& c : toPx)
        EXPECT_EQ(Screen::Px(c.twips), c.px) << c.twips << " twips";

    const Case toTwips[] = {{0, 0}, {15, 1}, {4395, 293}, {1440, 96}};
    for (const Case& c : toTwips)
        EXPECT_EQ(Screen::Twips(c.px), c.twips) << c.px << " px";
}

TEST(Screen, SizeIsPrimaryScreenGeometry)
{
    EXPECT_EQ(Screen::Size(), QGuiApplication::primaryScreen()->geometry().size());
    EXPECT_FALSE(Screen::Size().isEmpty());
}

void ExpectCentred(const QWidget& w)
{
    const QSize screen = Screen::Size();
    const QRect frame = w.frameGeometry();
    EXPECT_NEAR(frame.left(), screen.width() / 2 - frame.width() / 2, 1);
    EXPECT_NEAR(frame.top(), screen.height() / 2 - frame.height() / 2, 1);
}

TEST(Screen, CentreBeforeAndAfterShow)
{
    QWidget w;
    w.setGeometry(5, 7, 301, 201);
    Screen::Centre(&w);
    ExpectCentred(w);
    EXPECT_EQ(w.size(), QSize(301, 201));

    w.show();
    w.move(0, 0);
    w.resize(420, 333);
    Screen::Centre(&w);
    ExpectCentred(w);
    EXPECT_EQ(w.size(), QSize(420, 333));
}

TEST(Screen, SetTopMostKeepsGeometryAndVisibility)
{
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "shown" : "hidden");
        QWidget w;
        w.setGeometry(100, 120, 300, 200);
        w.setVisible(visible);
        const QRect before = w.geometry();

        Screen::SetTopMost(&w);
        EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(w.geometry(), before);
        EXPECT_EQ(w.isVisible(), visible);

        // A second call, already on top, changes nothing.
        Screen::SetTopMost(&w);
        EXPECT_EQ(w.geometry(), before);
        EXPECT_EQ(w.isVisible(), visible);
    }
}

// ---- Qt's own texts -----------------------------------------------------

TEST(JapaneseQtTexts, SpeakJapaneseWhileTheyLive)
{
    // The text boxes' context menus, under the C locale of the tests.
    const auto copy = [] { return QCoreApplication::translate("QLineEdit", "&Copy"); };
    ASSERT_EQ(copy(), QStringLiteral("&Copy"));
    {
        JapaneseQtTexts texts;
        ASSERT_TRUE(texts.Loaded()) << "qt6-translations-l10n missing (scripts/deps.sh)";
        EXPECT_TRUE(copy().startsWith(QStringLiteral("コピー"))) << copy().toStdString();
    }
    EXPECT_EQ(copy(), QStringLiteral("&Copy"));
}

// ---- Tray icon ----------------------------------------------------------

TEST(TrayIcon, StateFollowsAddModifyDelete)
{
    TrayIcon tray;
    EXPECT_FALSE(tray.Shown());

    tray.Modify(TrayPicture::Letter, QStringLiteral("early"));
    EXPECT_FALSE(tray.Shown());
    EXPECT_EQ(tray.Picture(), TrayPicture::Main);
    EXPECT_TRUE(tray.Tip().isEmpty());

    tray.Add(TrayPicture::Main, QStringLiteral("Wibblet"));
    EXPECT_TRUE(tray.Shown());
    EXPECT_EQ(tray.Tip(), QStringLiteral("Wibblet"));

    tray.Modify(TrayPicture::Letter, QStringLiteral("1 message"));
    EXPECT_TRUE(tray.Shown());
    EXPECT_EQ(tray.Picture(), TrayPicture::Letter);
    EXPECT_EQ(tray.Tip(), QStringLiteral("1 message"));

    tray.Delete();
    EXPECT_FALSE(tray.Shown());
    tray.Modify(TrayPicture::Main, QStringLiteral("late"));
    EXPECT_FALSE(tray.Shown());
    EXPECT_EQ(tray.Tip(), QStringLiteral("1 message"));
}

QImage Render(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(QtTrayIcon, ShowsThePictureAndTip)
{
    InitResources();
    QtTrayIcon tray;
    auto* sys = tray.findChild<QSystemTrayIcon*>();
    ASSERT_NE(sys, nullptr);
    const QImage app = Render(QIcon(QStringLiteral(":/icons/app.svg")));
    const QImage letter = Render(QIcon(QStringLiteral(":/icons/letter.svg")));
    ASSERT_FALSE(app.isNull());
    ASSERT_NE(app, letter);

    tray.Add(TrayPicture::Main, QStringLiteral("Wibblet"));
    EXPECT_TRUE(tray.Shown());
    EXPECT_TRUE(sys->isVisible());
    EXPECT_EQ(sys->toolTip(), QStringLiteral("Wibblet"));
    EXPECT_EQ(Render(sys->icon()), app);

    tray.Modify(TrayPicture::Letter, QStringLiteral("new"));
    EXPECT_EQ(sys->toolTip(), QStringLiteral("new"));
    EXPECT_EQ(Render(sys->icon()), letter);

    tray.Delete();
    EXPECT_FALSE(sys->isVisible());
    tray.Modify(TrayPicture::Main, QStringLiteral("gone"));
    EXPECT_FALSE(sys->isVisible());
    EXPECT_EQ(sys->toolTip(), QStringLiteral("new"));
    EXPECT_EQ(sys->contextMenu(), nullptr);
}

TEST(QtTrayIcon, MapsActivationReasons)
{
    struct Case {
        QSystemTrayIcon::ActivationReason reason;
        bool emitted;
        TrayEvent event;
    };
    const Case cases[] = {
        {QSystemTrayIcon::Trigger, true, TrayEvent::LeftPress},
        {QSystemTrayIcon::DoubleClick, true, TrayEvent::LeftDoubleClick},
        {QSystemTrayIcon::Context, true, TrayEvent::RightPress},
        {QSystemTrayIcon::MiddleClick, false, {}},
        {QSystemTrayIcon::Unknown, false, {}},
    };
    QtTrayIcon tray;
    auto* sys = tray.findChild<QSystemTrayIcon*>();
    ASSERT_NE(sys, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        QList<TrayEvent> events;
        const auto connection = QObject::connect(&tray, &TrayIcon::Activated,
                                                 [&](TrayEvent e, QPoint) { events.append(e); });
        Q_EMIT sys->activated(c.reason);
        QObject::disconnect(connection);
        ASSERT_EQ(events.size(), c.emitted ? 1 : 0);
        if (c.emitted) {
            EXPECT_EQ(events.front(), c.event);
        }
    }
}

// ---- Icons --------------------------------------------------------------

TEST(Icons, LoadFromResources)
{
    InitResources();
    struct Case {
        const char* path;
        QRectF viewBox;
    };
    const Case cases[] = {{":/icons/app.svg", QRectF(0, 0, 48, 48)},
                          {":/icons/letter.svg", QRectF(0, 0, 32, 32)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromLatin1(c.path);
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid());
        EXPECT_EQ(renderer.viewBoxF(), c.viewBox);

        const QIcon icon(path);
        ASSERT_FALSE(icon.isNull());
        // Drawn at tray size, a good part of the square is painted.
        const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 16 * 16 / 3);
    }
}

// ---- Message boxes ------------------------------------------------------

enum class Press { Ok, Cancel, Yes, No, KeyY, KeyN, Escape, Close };

struct SeenBox {
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString buttonTexts; ///< of OK, Cancel, Yes and No, those the box has, "|"-joined
    Qt::WindowModality modality = Qt::NonModal;
    bool onTop = false;
};

// Shows the box and answers it from a timer once it is open, as a user would.
BoxAnswer ShowAndPress(const BoxRequest& request, Press press, SeenBox* seen)
{
    bool found = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        found = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->format = box->textFormat();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        for (const auto b :
             {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
            if (QAbstractButton* button = box->button(b))
                seen->buttonTexts += (seen->buttonTexts.isEmpty() ? "" : "|") + button->text();
        seen->modality = box->windowModality();
        seen->onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        const auto click = [box](QMessageBox::StandardButton b) {
            if (QAbstractButton* button = box->button(b))
                button->click();
        };
        switch (press) {
        case Press::Ok:
            return click(QMessageBox::Ok);
        case Press::Cancel:
            return click(QMessageBox::Cancel);
        case Press::Yes:
            return click(QMessageBox::Yes);
        case Press::No:
            return click(QMessageBox::No);
        case Press::KeyY:
        case Press::KeyN:
        case Press::Escape: {
            const Qt::Key k = press == Press::KeyY   ? Qt::Key_Y
                              : press == Press::KeyN ? Qt::Key_N
                                                     : Qt::Key_Escape;
            QKeyEvent key(QEvent::KeyPress, k, Qt::NoModifier);
            QApplication::sendEvent(box, &key);
            return;
        }
        case Press::Close:
            box->close();
            return;
        }
    });
    poll.start();
    QtMessageBoxes boxes;
    const BoxAnswer answer = boxes.Show(request);
    EXPECT_TRUE(found);
    return answer;
}

TEST(QtMessageBoxes, AnswersFromTheButtonPressed)
{
    struct Case {
        BoxButtons buttons;
        Press press;
        BoxAnswer answer;
        QMessageBox::StandardButtons offered;
    };
    const auto okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    const auto yesNo = QMessageBox::Yes | QMessageBox::No;
    const Case cases[] = {
        {BoxButtons::Ok, Press::Ok, BoxAnswer::Ok, QMessageBox::Ok},
        {BoxButtons::Ok, Press::Escape, BoxAnswer::Ok, QMessageBox::Ok},
        {BoxButtons::Ok, Press::Close, BoxAnswer::Ok, QMessageBox::Ok},
        {BoxButtons::OkCancel, Press::Ok, BoxAnswer::Ok, okCancel},
        {BoxButtons::OkCancel, Press::Cancel, BoxAnswer::Cancel, okCancel},
        {BoxButtons::OkCancel, Press::Escape, BoxAnswer::Cancel, okCancel},
        {BoxButtons::OkCancel, Press::Close, BoxAnswer::Cancel, okCancel},
        {BoxButtons::YesNo, Press::Yes, BoxAnswer::Yes, yesNo},
        {BoxButtons::YesNo, Press::No, BoxAnswer::No, yesNo},
        {BoxButtons::YesNo, Press::KeyY, BoxAnswer::Yes, yesNo},
        {BoxButtons::YesNo, Press::KeyN, BoxAnswer::No, yesNo},
        {BoxButtons::YesNo, Press::Escape, BoxAnswer::No, yesNo},
        {BoxButtons::YesNo, Press::Close, BoxAnswer::No, yesNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "buttons " << static_cast<int>(c.buttons) << " press "
                                        << static_cast<int>(c.press));
        BoxRequest request;
        request.text = QStringLiteral("Question?");
        request.buttons = c.buttons;
        SeenBox seen;
        EXPECT_EQ(ShowAndPress(request, c.press, &seen), c.answer);
        EXPECT_EQ(seen.buttons, c.offered);
        // Japanese, though Qt's own texts are English under the tests' C locale.
        const char16_t* texts[] = {u"OK", u"OK|キャンセル", u"はい|いいえ"}; // as BoxButtons
        EXPECT_EQ(seen.buttonTexts, QString::fromUtf16(texts[static_cast<int>(c.buttons)]));
    }
}

TEST(QtMessageBoxes, ShowsCaptionTextAndIcon)
{
    struct Case {
        QString title;
        BoxIcon icon;
        QString caption;
        QMessageBox::Icon qtIcon;
    };
    const Case cases[] = {
        {QString(), BoxIcon::None, QStringLiteral("Wibblet"), QMessageBox::NoIcon},
        {QStringLiteral("Sending failed"), BoxIcon::Critical, QStringLiteral("Sending failed"),
         QMessageBox::Critical},
        {QStringLiteral("Note"), BoxIcon::Information, QStringLiteral("Note"),
         QMessageBox::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        BoxRequest request;
        request.title = c.title;
        request.icon = c.icon;
        // Text from the network: CR LF lines, and markup that must stay literal.
        request.text = QStringLiteral("From <b>bob</b>\r\nsecond line");
        SeenBox seen;
        ShowAndPress(request, Press::Ok, &seen);
        EXPECT_EQ(seen.title, c.caption);
        EXPECT_EQ(seen.icon, c.qtIcon);
        EXPECT_EQ(seen.text, QStringLiteral("From <b>bob</b>\nsecond line"));
        EXPECT_EQ(seen.format, Qt::PlainText);
    }
}

TEST(QtMessageBoxes, SystemModalStaysOnTop)
{
    for (bool systemModal : {false, true}) {
        SCOPED_TRACE(systemModal);
        BoxRequest request;
        request.text = QStringLiteral("x");
        request.systemModal = systemModal;
        SeenBox seen;
        ShowAndPress(request, Press::Ok, &seen);
        EXPECT_EQ(seen.modality, Qt::ApplicationModal);
        EXPECT_EQ(seen.onTop, systemModal);
    }
}

TEST(QtMessageBoxes, NotifyReturnsAtOnceWithABoxThatBlocksNoOtherWindow)
{
    for (const Press press : {Press::Ok, Press::Escape, Press::Close}) {
        SCOPED_TRACE(static_cast<int>(press));
        BoxRequest request;
        request.title = QStringLiteral("Failed");
        request.text = QStringLiteral("From <b>bob</b>\r\nsecond line");
        request.buttons = BoxButtons::YesNo; // not looked at: OK only
        int closed = 0;
        QtMessageBoxes boxes;
        boxes.Notify(request, [&] { ++closed; }); // nobody presses anything meanwhile
        QPointer<QMessageBox> box;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
                box = found;
        }
        ASSERT_TRUE(box);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(box->windowModality(), Qt::NonModal);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Failed"));
        EXPECT_EQ(box->text(), QStringLiteral("From <b>bob</b>\nsecond line"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(closed, 0);

        if (press == Press::Ok) {
            box->button(QMessageBox::Ok)->click();
        } else if (press == Press::Escape) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &key);
        } else {
            box->close();
        }
        EXPECT_EQ(closed, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(box); // deleted once closed
    }
}

TEST(QtMessageBoxes, LinesBreakOnlyWhereTheTextOrTheScreenDoes)
{
    // The error box's longest line: Qt would break it where it chooses
    // ("…可能性があ" / "ります。"). A line wider than the screen (an unbroken
    // name from the network) must break, mid-word if need be.
    const QString line = QStringLiteral(
        "通信相手に問題が発生したか、受信不可能なメッセージが送信された可能性があります。");
    // A long caption over a short text is not cut by the frame either.
    const QString caption = QStringLiteral("送れない文字があります。(^-^;");
    const std::pair<QString, bool> cases[] = {
        {line + QStringLiteral("\r\n短い行"), false},
        {QString(300, u'x') + QStringLiteral("\r\n") + line, true},
        {QStringLiteral("x"), false},
    };
    for (const auto& [text, wraps] : cases) {
        SCOPED_TRACE(wraps);
        QtMessageBoxes().Notify({text, caption}, {});
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
                box = found;
        }
        ASSERT_TRUE(box);
        QCoreApplication::processEvents(); // the layout settles
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        const QStringList shown = label->text().split(QLatin1Char('\n'));
        EXPECT_EQ(shown.size() > text.count(QLatin1Char('\n')) + 1, wraps);
        for (const QString& each : shown)
            EXPECT_LE(label->fontMetrics().horizontalAdvance(each), label->contentsRect().width());
        EXPECT_GT(box->width(), box->fontMetrics().horizontalAdvance(caption));
        if (!wraps && text.size() > 1) {
            const int advance = label->fontMetrics().horizontalAdvance(line);
            ASSERT_GT(advance, std::min(Screen::Size().width() / 2, 500)); // Qt would wrap it
            EXPECT_GE(label->contentsRect().width(), advance);
        }
        EXPECT_GE(label->height(), label->heightForWidth(label->width())); // nothing cut
        EXPECT_LE(box->frameGeometry().width(), Screen::Size().width());
        ExpectCentred(*box); // at its final width
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
} // namespace wibblet
