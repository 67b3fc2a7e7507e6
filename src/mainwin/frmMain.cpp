#include "mainwin/frmMain.h"

#include "platform/Clock.h"
#include "platform/gui/FormLayout.h"
#include "platform/gui/Screen.h"
#include "platform/gui/TrayIcon.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace wibblet {

using FormLayout::AddButton;
using FormLayout::AddRule;
using FormLayout::AddRunOnLabel;
using FormLayout::AddTextBox;

frmMain::frmMain(Environment env, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      env_(std::move(env)),
      program_(env_.socket, env_.boxes, env_.clock),
      dispatcher_(program_, members_),
      flasher_(env_.tray, members_, this),
      popups_([this](const ReceivedMessage& message) { return BuildPopup(message); }, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Wibblet"));
    setFont(FormLayout::FormFont());
    setFixedSize(Screen::Px(4395), Screen::Px(3840));
    BuildMenu();

    OpnNtc_.resize(1);
    dispatcher_.SetMessageHandler(this);
    dispatcher_.SetAbsenceMode([this] { return AbsenceMode(); });
    // The tray flashes while messages wait, held back or queued.
    connect(&popups_, &ReceivedWindows::WaitingChanged, &flasher_, &TrayFlasher::SetNonPopMsg);

    connect(&env_.tray, &TrayIcon::Activated, this, &frmMain::TrayIcon_Event);
    // The delivery watch ticks only while a sent message awaits its receipt.
    timTimer_ = new QTimer(this);
    timTimer_->setInterval(3000);
    connect(timTimer_, &QTimer::timeout, this, &frmMain::timTimer_Timer);
    // A row only becomes pending by its send time being written, so looking
    // at the written cells is enough; no scan of the whole list per change.
    connect(
        &members_, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex& from, const QModelIndex& to) {
            if (timTimer_->isActive() || from.column() > MemberTable::ColSendTime
                || to.column() < MemberTable::ColSendTime)
                return;
            for (int row = from.row(); row <= to.row(); ++row) {
                if (Clock::ParseTime(members_.Text(row + 1, MemberTable::ColSendTime)).isValid()) {
                    timTimer_->start();
                    return;
                }
            }
        });
}

frmMain::~frmMain() = default;

void frmMain::BuildWindow()
{
    if (txtUser_)
        return;
    BuildControls();
    // What start-up put in the boxes' place before they existed.
    txtUser_->setText(program_.hostNameText);
    txtUserName_->setText(program_.userNameText);
    // The destination box leads the tab order: it has the focus when the
    // window first comes up.
    txtHost_->setFocus();
}

void frmMain::setVisible(bool visible)
{
    if (visible)
        BuildWindow();
    QWidget::setVisible(visible);
}

void frmMain::BuildControls()
{
    AddRunOnLabel(this, {}, QStringLiteral("ホスト名："), 60, 180, 675, 180);
    txtUser_ = AddTextBox(this, "txtUser", 840, 120, 1155, 270);
    connect(txtUser_, &QLineEdit::textChanged, this,
            [this](const QString& text) { program_.hostNameText = text; });
    AddRunOnLabel(this, {}, QStringLiteral("ユーザ名："), 2160, 180, 720, 180);
    txtUserName_ = AddTextBox(this, "txtUserName", 3000, 120, 1335, 270);
    txtUserName_->installEventFilter(this);
    connect(txtUserName_, &QLineEdit::textChanged, this,
            [this](const QString& text) { program_.userNameText = text; });
    AddRule(this, 120, 4320, 480);

    lblNonPopup_ = AddRunOnLabel(this, {}, QStringLiteral("不在設定中"), 3240, 480, 1065, 240);
    lblNonPopup_->setObjectName(QStringLiteral("lblNonPopup"));
    lblNonPopup_->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    lblNonPopup_->hide();

    cmdLstUpd_ =
        AddButton(this, "cmdLstUpd", QStringLiteral("エントリー済ホスト一覧"), 60, 720, 4275, 255);
    cmdLstUpd_->setToolTip(QStringLiteral("「エントリー済ホスト一覧」を更新します。"));
    connect(cmdLstUpd_, &QPushButton::clicked, this, &frmMain::cmdLstUpd_Click);

    lsvMember_ = new QTreeView(this);
    lsvMember_->setObjectName(QStringLiteral("lsvMember"));
    Screen::Place(lsvMember_, 0, 960, 4335, 1815);
    lsvMember_->setModel(&members_);
    lsvMember_->setRootIsDecorated(false);
    lsvMember_->setUniformRowHeights(true);
    lsvMember_->setAllColumnsShowFocus(true);
    lsvMember_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lsvMember_->header()->setStretchLastSection(false);
    const int widths[MemberTable::ColumnCount] = {1667, 2170, 1032, 2117, 0, 0, 0};
    for (int column = 0; column < MemberTable::ColumnCount; ++column) {
        lsvMember_->setColumnWidth(column, Screen::Px(widths[column]));
        // The bookkeeping columns are storage, never seen.
        lsvMember_->setColumnHidden(column, widths[column] == 0);
    }

    connect(lsvMember_, &QTreeView::clicked, this, [this] { lsvMember_Click(); });
    // Moving through the list by keyboard picks the host as a click does;
    // only while the list has the focus, so that rows coming and going do
    // not overwrite a name being typed.
    connect(lsvMember_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (lsvMember_->hasFocus())
            lsvMember_Click();
    });
    // Enter in the list sends, as 送信 is the window's default button.
    lsvMember_->installEventFilter(this);
    lsvMember_->header()->setSectionsClickable(true);
    connect(lsvMember_->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { lsvMember_ColumnClick(section + 1); });

    auto* label4 = AddRunOnLabel(this, {}, QStringLiteral("相手ホスト名："), 180, 2940, 1080, 180);
    const QFont pGothic = FormLayout::PGothicFont();
    label4->setFont(pGothic);
    txtHost_ = AddTextBox(this, "txtHost", 1320, 2880, 1815, 270);
    txtHost_->setFont(pGothic);
    cmdSend_ = AddButton(this, "cmdSend", QStringLiteral("送信"), 3240, 2880, 1095, 270);
    cmdSend_->setDefault(true);
    connect(cmdSend_, &QPushButton::clicked, this, &frmMain::cmdSend_Click);
    // Enter in the destination box presses the default button.
    connect(txtHost_, &QLineEdit::returnPressed, this, &frmMain::cmdSend_Click);
    AddRule(this, 120, 4320, 3360);
    cmdEnd_ = AddButton(this, "cmdEnd", QStringLiteral("終了"), 3240, 3480, 1095, 255);
    connect(cmdEnd_, &QPushButton::clicked, this, &frmMain::cmdEnd_Click);

    setTabOrder(txtHost_, cmdSend_);
    setTabOrder(cmdSend_, cmdEnd_);
}

void frmMain::BuildMenu()
{
    mnuMain_ = new QMenu(QStringLiteral("ポップアップメニュー"), this);
    mnuMain_->setObjectName(QStringLiteral("mnuMain"));

    mnuResize_ = mnuMain_->addAction(QStringLiteral("元のサイズに戻す(&R)"));
    mnuResize_->setObjectName(QStringLiteral("mnuResize"));
    connect(mnuResize_, &QAction::triggered, this, [this] { mnuResize_Click(); });
    mnuMain_->addSeparator();

    mnuNonPopup_ = mnuMain_->addAction(QStringLiteral("不在モード"));
    mnuNonPopup_->setObjectName(QStringLiteral("mnuNonPopup"));
    mnuNonPopup_->setCheckable(true);
    // The handler decides the mark itself, after its questions.
    connect(mnuNonPopup_, &QAction::triggered, this, [this] {
        mnuNonPopup_->setChecked(absent_);
        mnuNonPopup_Click();
    });
    mnuMain_->addSeparator();

    mnuOption_ = mnuMain_->addMenu(QStringLiteral("オプション"));
    mnuOption_->setObjectName(QStringLiteral("mnuOption"));
    mnuSecretOk_ = mnuOption_->addAction(QStringLiteral("封書を有効にする"));
    mnuSecretOk_->setObjectName(QStringLiteral("mnuSecretOk"));
    mnuSecretOk_->setCheckable(true);
    // The handler flips the mark itself, as a click on the item does.
    connect(mnuSecretOk_, &QAction::triggered, this, [this](bool checkedNow) {
        mnuSecretOk_->setChecked(!checkedNow);
        mnuSecretOk_Click();
    });
    mnuIP_MSG_ = mnuOption_->addAction(QStringLiteral("IP-Messenger の振りをする"));
    mnuIP_MSG_->setObjectName(QStringLiteral("mnuIP_MSG"));
    mnuIP_MSG_->setCheckable(true);
    connect(mnuIP_MSG_, &QAction::triggered, this, [this](bool checkedNow) {
        mnuIP_MSG_->setChecked(!checkedNow);
        mnuIP_MSG_Click();
    });
    mnuMain_->addSeparator();

    mnuAbout_ = mnuMain_->addAction(QStringLiteral("Wibblet について(&A)"));
    mnuAbout_->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout_, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    mnuMain_->addSeparator();

    mnuEnd_ = mnuMain_->addAction(QStringLiteral("終了(&E)"));
    mnuEnd_->setObjectName(QStringLiteral("mnuEnd"));
    connect(mnuEnd_, &QAction::triggered, this, [this] { mnuEnd_Click(); });
}

} // namespace wibblet
