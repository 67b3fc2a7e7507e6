// The member list's commands, the compose window, and the emulation switch.
#include "mainwin/frmMain.h"

#include "msgwin/frmPopup.h"
#include "platform/MessageBoxes.h"
#include "platform/gui/Screen.h"
#include "protocol/CommandCodes.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QLineEdit>
#include <QTreeView>

namespace wibblet {

void frmMain::cmdLstUpd_Click()
{
    members_.Clear();
    SendEntry(program_);
    if (isVisible())
        lsvMember_->setFocus();
}

void frmMain::lsvMember_Click()
{
    BuildWindow();
    // The row the user sees there: the list may not show every row yet.
    const int row = members_.RowOf(lsvMember_->currentIndex());
    if (row < 1)
        return;
    txtHost_->setText(members_.Text(row, MemberTable::ColHost));
}

void frmMain::lsvMember_ColumnClick(int columnHeader)
{
    members_.SetSortKey(columnHeader - 1);
}

frmPopup* frmMain::Compose() const
{
    return compose_;
}

frmPopup* frmMain::ShowCompose()
{
    if (!compose_)
        compose_ = new frmPopup(program_, members_, this);
    // Placed again as it comes up: a window created hidden may have been
    // placed before the window system knew its frame.
    if (!compose_->isVisible())
        Screen::Centre(compose_);
    compose_->show();
    compose_->raise();
    compose_->activateWindow();
    return compose_;
}

void frmMain::cmdSend_Click()
{
    BuildWindow();
    const QString host = txtHost_->text();
    if (host.isEmpty()) {
        env_.boxes.Tell(QStringLiteral("相手ホスト名を指定せんかいっ！"));
        txtHost_->setFocus();
        return;
    }
    const int row = members_.chkMember(host);
    frmPopup* compose = ShowCompose();
    const QString destination = row < 0 ? host : members_.Text(row, MemberTable::ColIP);
    // The window keeps its destination; the socket's endpoint is shared by
    // every sender and may move before the message goes. The host name
    // finds the chosen row again where several share the address.
    compose->SetDestination(destination, row < 0 ? host : members_.Text(row, MemberTable::ColHost));
    SetRemote(program_, destination);
    txtHost_->clear();
    lsvMember_->viewport()->update();
}

void frmMain::mnuIP_MSG_Click()
{
    Settings& settings = program_.settings;
    if (mnuIP_MSG_->isChecked()) {
        mnuIP_MSG_->setChecked(false);
        settings.IP_MSG.clear();
    } else {
        const BoxAnswer answer = env_.boxes.Tell(
            QStringLiteral("IP-MESSENGER エミュレーションモードに切り替えます。\r\n\r\n"
                           "このモードでは、IP-MESSENGER やその互換メッセンジャーと\r\n"
                           "Wibblet を同時に使用することが出来ません。\r\n"
                           "よろしいですか？"),
            BoxButtons::OkCancel);
        if (answer != BoxAnswer::Ok)
            return;
        mnuIP_MSG_->setChecked(true);
        settings.IP_MSG = QStringLiteral("1");
    }
    settings.PutIni(SettingsKeys::BasicSection, SettingsKeys::IpMsg, settings.IP_MSG);
    SendExit(program_);
    SetPort(program_);
    cmdLstUpd_Click();
}

} // namespace wibblet
