#include "mainwin/frmMain.h"

#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramFile.h"
#include "platform/UdpSocket.h"
#include "platform/gui/Screen.h"
#include "platform/gui/TrayIcon.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace wibblet {

namespace {

const QString kBasic = QStringLiteral("BSC_CFG");

// Places a control by its twips rectangle.
void Place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Screen::Px(left), Screen::Px(top), Screen::Px(width), Screen::Px(height));
}

} // namespace

frmMain::frmMain(Environment env, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      env_(std::move(env)),
      program_(env_.socket, env_.boxes, env_.clock)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Wibblet"));
    setFont(QFont(QStringLiteral("MS UI Gothic"), 9));
    setFixedSize(Screen::Px(4395), Screen::Px(3840));
    BuildControls();
    BuildMenu();
}

frmMain::~frmMain() = default;

void frmMain::BuildControls()
{
    Label1_ = new QLabel(QStringLiteral("ホスト名："), this);
    Place(Label1_, 60, 180, 675, 180);
    txtUser_ = new QLineEdit(this);
    txtUser_->setObjectName(QStringLiteral("txtUser"));
    Place(txtUser_, 840, 120, 1155, 270);

    Label3_ = new QLabel(QStringLiteral("ユーザ名："), this);
    Place(Label3_, 2160, 180, 720, 180);
    txtUserName_ = new QLineEdit(this);
    txtUserName_->setObjectName(QStringLiteral("txtUserName"));
    Place(txtUserName_, 3000, 120, 1335, 270);
    txtUserName_->installEventFilter(this);
    connect(txtUserName_, &QLineEdit::textChanged, this,
            [this](const QString& text) { program_.userNameText = text; });

    cmdEnd_ = new QPushButton(QStringLiteral("終了"), this);
    cmdEnd_->setObjectName(QStringLiteral("cmdEnd"));
    Place(cmdEnd_, 3240, 3480, 1095, 255);
    connect(cmdEnd_, &QPushButton::clicked, this, &frmMain::cmdEnd_Click);
}

void frmMain::BuildMenu()
{
    mnuMain_ = new QMenu(QStringLiteral("ポップアップメニュー"), this);
    mnuMain_->setObjectName(QStringLiteral("mnuMain"));
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
    mnuMain_->addSeparator();
    mnuEnd_ = mnuMain_->addAction(QStringLiteral("終了(&E)"));
    mnuEnd_->setObjectName(QStringLiteral("mnuEnd"));
    connect(mnuEnd_, &QAction::triggered, this, [this] { mnuEnd_Click(); });
}

bool frmMain::Form_Load()
{
    // A second copy of the same program file ends before touching anything.
    if (!env_.instanceLock.TryAcquire(env_.programFile)) {
        ending_ = true;
        env_.endProcess();
        return false;
    }

    Settings& settings = program_.settings;
    settings.path = ProgramFile::SettingsPathFor(env_.programFile);
    settings.Read();
    settings.WriteBack();
    mnuSecretOk_->setChecked(Settings::IsOn(settings.SECRET_OK));
    mnuIP_MSG_->setChecked(Settings::IsOn(settings.IP_MSG));

    Screen::Centre(this);
    env_.tray.Add(TrayPicture::Main, PlainTip());
    hide();

    SetPort(program_);

    txtUser_->setText(program_.socket.LocalHostName());
    if (settings.USER_NAME.isEmpty())
        settings.USER_NAME = txtUser_->text();
    settings.PutIni(kBasic, QStringLiteral("USER_NAME"), settings.USER_NAME);
    txtUserName_->setText(settings.USER_NAME);
    return true;
}

QString frmMain::PlainTip() const
{
    return QStringLiteral("Wibblet(0)");
}

void frmMain::cmdEnd_Click()
{
    const BoxAnswer answer = env_.boxes.Show(
        {QStringLiteral("Wibblet を終了してよろしいですか？"), QString(), BoxButtons::YesNo});
    if (answer == BoxAnswer::Yes)
        EndProgram();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program without a question.
    event->accept();
    EndProgram();
}

void frmMain::EndProgram()
{
    if (ending_)
        return;
    ending_ = true;
    env_.tray.Delete();
    env_.endProcess();
}

void frmMain::mnuSecretOk_Click()
{
    Settings& settings = program_.settings;
    mnuSecretOk_->setChecked(!mnuSecretOk_->isChecked());
    settings.SECRET_OK = mnuSecretOk_->isChecked() ? QStringLiteral("1") : QString();
    settings.PutIni(kBasic, QStringLiteral("SECRET_OK"), settings.SECRET_OK);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtUserName_ && event->type() == QEvent::FocusOut)
        QTimer::singleShot(0, this, [this] { txtUserName_LostFocus(); });
    return QWidget::eventFilter(watched, event);
}

void frmMain::txtUserName_LostFocus()
{
    Settings& settings = program_.settings;
    const QString name = txtUserName_->text();
    if (!name.isEmpty()) {
        settings.USER_NAME = name;
        settings.PutIni(kBasic, QStringLiteral("USER_NAME"), name);
        return;
    }
    env_.boxes.Show({QStringLiteral("ユーザ名を入力してください。"), QString(), BoxButtons::Ok});
    txtUserName_->setFocus();
}

} // namespace wibblet
