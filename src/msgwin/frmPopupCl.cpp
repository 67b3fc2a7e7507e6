#include "msgwin/frmPopupCl.h"

#include "msgwin/MessageArea.h"
#include "platform/MessageBoxes.h"
#include "platform/gui/FormLayout.h"
#include "platform/gui/Screen.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QPushButton>

namespace wibblet {

namespace {

constexpr int kPictureCount = 10;
// The picture shown for an icon number this program does not know.
constexpr int kFallbackPicture = 9;
constexpr int kCrashIcon = 4;

// The sender's pictures are drawn from their SVG once per process and
// shared by every window: a burst of held messages builds a window each,
// and each would otherwise parse and draw all ten.
QPixmap Picture(int i)
{
    const int size = Screen::Px(480);
    const QString key = QStringLiteral("wibblet/msg%1/%2").arg(i).arg(size);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QIcon(QStringLiteral(":/icons/msg%1.svg").arg(i)).pixmap(size);
        QPixmapCache::insert(key, picture);
    }
    return picture;
}

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                       int width, int height)
{
    QPushButton* button = FormLayout::AddButton(parent, name, caption, left, top, width, height);
    // Enter must not dismiss a message the user has not read yet.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

frmPopupCl::frmPopupCl(QStringList programNames, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      programNames_(std::move(programNames)),
      boxes_(boxes)
{
    setObjectName(QStringLiteral("frmPopupCl"));
    setFont(FormLayout::FormFont());

    // Comes up without taking the keyboard from the window the user types
    // in; a window manager that honours this leaves the focus where it is.
    setAttribute(Qt::WA_ShowWithoutActivating);

    for (int i = 0; i < kPictureCount; ++i) {
        picIcon_[i] =
            FormLayout::AddLabel(this, QStringLiteral("picIcon%1").arg(i), 360, 240, 480, 480);
        // A missing picture leaves an empty box rather than failing.
        picIcon_[i]->setPixmap(Picture(i));
        picIcon_[i]->hide();
    }

    // First in the tab order and holder of the focus, so that no button is
    // armed when the window gets the keyboard; it shows no caret.
    scrMSG_ = new MessageArea(this, 1080, 240, 5895, 1695);
    lblMSG_ = scrMSG_->Label();
    lblMSG_->setToolTip(QStringLiteral("右クリックでメニューを表示します。"));
    lblMSG_->installEventFilter(this);

    lblDetail_ = FormLayout::AddLabel(this, "lblDetail", 120, 2040, 8295, 3615);
    lblDetail_->setTextFormat(Qt::PlainText);
    lblDetail_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A fixed-pitch face with Japanese in it, so the register dump lines up
    // like a system dump, the lines after a Japanese run too.
    lblDetail_->setFont(FormLayout::SystemFont());
    lblDetail_->installEventFilter(this);
    lblDetail_->hide();

    cmdOK_ = AddButton(this, "cmdOK", QString(), 3120, 1800, 1275, 315);
    connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });

    cmdDummy_ = AddButton(this, "cmdDummy", QStringLiteral("詳細"), 7080, 600, 1275, 315);
    cmdDummy_->hide();

    // Created last so that it lies over icon and text when shown.
    cmdSecret_ = AddButton(this, "cmdSecret", QStringLiteral("開封"), 120, 120, 6855, 1815);
    connect(cmdSecret_, &QPushButton::clicked, this, [this] { cmdSecret_Click(); });
    cmdSecret_->hide();
    cmdSecret_->raise();

    setTabOrder(scrMSG_, cmdSecret_);
    setTabOrder(cmdSecret_, cmdOK_);
    setTabOrder(cmdOK_, cmdDummy_);

    mnuMain_ = new QMenu(QStringLiteral("ポップアップメニュー"), this);
    mnuMain_->setObjectName(QStringLiteral("mnuMain"));
    mnuRes_ = mnuMain_->addAction(QStringLiteral("返信"));
    mnuRes_->setObjectName(QStringLiteral("mnuRes"));
    connect(mnuRes_, &QAction::triggered, this, [this] { mnuRes_Click(); });
    mnuCopy_ = mnuMain_->addAction(QStringLiteral("メッセージをコピー"));
    mnuCopy_->setObjectName(QStringLiteral("mnuCopy"));
    connect(mnuCopy_, &QAction::triggered, this, [this] { mnuCopy_Click(); });

    FormSetNormal();
    setWindowTitle(QString());
    scrMSG_->SetText(QString());
    cmdOK_->setText(QStringLiteral("実行"));
    scrMSG_->setFocus();
    Screen::Centre(this);
}

void frmPopupCl::set_Form(const QString& text, const QString& title, const QString& ok, qint32 icon)
{
    for (QLabel* picture : picIcon_)
        picture->hide();
    scrMSG_->SetText(QString());
    cmdOK_->setText(QStringLiteral("実行"));

    // An unknown icon number (a newer or foreign sender) still shows the
    // message, with the neutral picture.
    const bool known = icon >= 0 && icon < kPictureCount;
    picIcon_[known ? icon : kFallbackPicture]->show();

    title_ = title;
    Screen::SetTitle(this, title);
    scrMSG_->SetText(text);
    cmdOK_->setText(ok);

    if (icon == kCrashIcon)
        FormSetSpecial();
    else
        FormSetNormal();
}

void frmPopupCl::FormSetNormal()
{
    setFixedSize(Screen::Px(7200), Screen::Px(2730));
    constexpr int kOkTop = 1800;
    cmdOK_->move(Screen::Px(3120), Screen::Px(kOkTop));
    // The OK button lies over the text's lower part: a text that would run
    // under it scrolls instead, ending 60 twips above it (the text's top is
    // at 240).
    scrMSG_->SetRoom(kOkTop - 60 - 240);
    cmdDummy_->hide();
    lblDetail_->hide();
    Screen::Centre(this);
}

void frmPopupCl::cmdOK_Click()
{
    Dismiss();
}

void frmPopupCl::cmdSecret_Click()
{
    cmdSecret_->hide();
    cmdOK_->show();
    Q_EMIT SecretOpened();
}

void frmPopupCl::mnuRes_Click()
{
    Dismiss();
    Q_EMIT ReplyRequested();
}

void frmPopupCl::mnuCopy_Click()
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(lblMSG_->text());
    boxes_.Show(
        BoxRequest{QStringLiteral("表示中のメッセージを、クリップボードにコピーしました。\r\n"
                                  "メモ帳等に貼り付けて、内容を確認することが出来ます。"),
                   QString(), BoxButtons::Ok, BoxIcon::None, true});
}

void frmPopupCl::Dismiss()
{
    hide();
    setWindowState(windowState() | Qt::WindowMinimized);
    scrMSG_->SetText(QString());
    Q_EMIT Dismissed(PopClID);
}

void frmPopupCl::closeEvent(QCloseEvent* event)
{
    closed_ = true;
    event->accept();
    Q_EMIT Closed();
}

void frmPopupCl::mousePressEvent(QMouseEvent* event)
{
    // Presses on the picture or a button bubble up here too; only the bare
    // background opens the menu.
    if (event->button() == Qt::RightButton && !childAt(event->position().toPoint()))
        mnuMain_->popup(event->globalPosition().toPoint());
}

bool frmPopupCl::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == lblMSG_ || watched == lblDetail_)
        && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::RightButton) {
            mnuMain_->popup(press->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace wibblet
