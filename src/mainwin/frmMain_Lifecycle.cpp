// Start-up, the settings the main window writes, and every way of ending.
#include "mainwin/frmMain.h"

#include "msgwin/frmPopup.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramFile.h"
#include "platform/UdpSocket.h"
#include "platform/gui/Screen.h"
#include "platform/gui/TrayIcon.h"
#include "protocol/Presence.h"
#include "settings/BroadcastList.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

namespace wibblet {

namespace Keys = SettingsKeys;

namespace {

// How late at most a new host reaches the list on screen: soon enough to
// look immediate, long enough for a storm of hosts to come in a few batches.
constexpr int kShowAddedMs = 50;
// How long start-up waits at most for the tray to draw its icon before it
// builds the windows.
constexpr int kIconDrawnMs = 100;

} // namespace

bool frmMain::Form_Load()
{
    // A second copy of the same program file ends before touching anything.
    const ProgramFile::Places places = ProgramFile::PlacesFor(env_.programFile, env_.configHome);
    if (!env_.instanceLock.TryAcquire(places.lock)) {
        ending_ = true;
        env_.endProcess();
        return false;
    }

    Settings& settings = program_.settings;
    settings.path = places.settings;
    settings.Read();
    settings.WriteBack();
    mnuSecretOk_->setChecked(Settings::IsOn(settings.SECRET_OK));
    mnuIP_MSG_->setChecked(Settings::IsOn(settings.IP_MSG));

    InitBrdAddr(program_);
    SetPort(program_);

    // The host and user name boxes' texts, set before the boxes exist; cut
    // as a text box cuts them (at QLineEdit's default maxLength).
    constexpr qsizetype kTextBoxLimit = 32767;
    program_.hostNameText = program_.socket.LocalHostName().left(kTextBoxLimit);
    if (settings.USER_NAME.isEmpty())
        settings.USER_NAME = program_.hostNameText;
    settings.PutIni(Keys::BasicSection, Keys::UserName, settings.USER_NAME);
    program_.userNameText = settings.USER_NAME.left(kTextBoxLimit);

    SendEntry(program_);

    // The entry goes first, as the other hosts wait for it; the tray icon
    // next, then the windows: their first text box loads the fonts, which
    // kept both waiting some 30 ms. Datagrams handled before then need no
    // control of this window (what does builds it).
    Screen::Centre(this);
    env_.tray.Add(TrayPicture::Main, flasher_.PlainTip());
    // Without a tray nothing could bring a hidden window back: it comes up.
    if (env_.tray.Available())
        hide();
    else
        show();
    env_.tray.WhenDrawn(kIconDrawnMs, this, [this] {
        BuildWindow();
        if (!compose_)
            compose_ = new frmPopup(program_, members_, this);
    });
    return true;
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
    SendExit(program_);
    env_.tray.Delete();
    env_.endProcess();
}

void frmMain::mnuSecretOk_Click()
{
    Settings& settings = program_.settings;
    mnuSecretOk_->setChecked(!mnuSecretOk_->isChecked());
    settings.SECRET_OK = mnuSecretOk_->isChecked() ? QStringLiteral("1") : QString();
    settings.PutIni(Keys::BasicSection, Keys::SecretOk, settings.SECRET_OK);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtUserName_ && event->type() == QEvent::FocusOut && !ending_)
        QTimer::singleShot(0, this, [this] { txtUserName_LostFocus(); });
    // While the list is on screen, new hosts reach it in batches: it lays
    // itself out once per batch rather than once per host. Hidden it lays
    // nothing out, and hears of each host at once.
    if (watched == lsvMember_ && event->type() == QEvent::Show)
        members_.SetShowDelay(kShowAddedMs);
    if (watched == lsvMember_ && event->type() == QEvent::Hide)
        members_.SetShowDelay(0);
    if (watched == lsvMember_ && event->type() == QEvent::KeyPress) {
        // Keys move among every host listed, those not shown yet too.
        members_.ShowAdded();
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdSend_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::txtUserName_LostFocus()
{
    Settings& settings = program_.settings;
    const QString name = txtUserName_->text();
    if (!name.isEmpty()) {
        settings.USER_NAME = name;
        settings.PutIni(Keys::BasicSection, Keys::UserName, name);
        return;
    }
    env_.boxes.Show({QStringLiteral("ユーザ名を入力してください。"), QString(), BoxButtons::Ok});
    txtUserName_->setFocus();
}

} // namespace wibblet
