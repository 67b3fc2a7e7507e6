// Absence mode: received windows are held back while the user is away.
#include "mainwin/frmMain.h"

#include "platform/MessageBoxes.h"
#include "protocol/CommandCodes.h"
#include "protocol/Presence.h"

#include <QAction>
#include <QLabel>

namespace wibblet {

void frmMain::SetAbsenceMode(bool on)
{
    absent_ = on;
    BuildWindow();
    mnuNonPopup_->setChecked(on);
    lblNonPopup_->setVisible(on);
}

void frmMain::mnuNonPopup_Click()
{
    if (!absent_) {
        const BoxAnswer answer = env_.boxes.Show(
            {QStringLiteral("不在モードを有効にします。\r\n\r\n"
                            "不在モード中はメッセージを受信してもポップアップしません。\r\n"
                            "長時間不在モードが続くと、その間に受信したメッセージが流れてしまうこと"
                            "があります。\r\n"
                            "ご注意ください。"),
             QString(), BoxButtons::OkCancel});
        if (answer != BoxAnswer::Ok) {
            env_.boxes.Tell(QStringLiteral("不在モードはキャンセルされました。"));
            return;
        }
        env_.boxes.Tell(QStringLiteral("不在モードを有効にしました。"));
        SetAbsenceMode(true);
        popups_.SetHolding(true);
        SendAbsence(program_, ReqAbsent);
        return;
    }

    SetAbsenceMode(false);
    SendAbsence(program_, ReqPresent);
    if (popups_.Waiting() > 0) {
        env_.boxes.Tell(QStringLiteral(
            "不在モード設定中に受信した、未読メッセージを表示します。\r\n\r\n"
            "複数メッセージを受信していた場合、メッセージが流れてしまっている可能性があります。"));
    }
    // The held messages come up a few per turn, as many as there is room
    // for; the tray flashes until the last has come up.
    popups_.SetHolding(false);
}

void frmMain::NonPopOff()
{
    if (!absent_)
        return;
    const BoxAnswer answer =
        env_.boxes.Show({QStringLiteral("不在モードが設定されています。\r\n解除しますか？"),
                         QString(), BoxButtons::YesNo});
    if (answer == BoxAnswer::Yes) {
        // Should the mode have been switched off from the menu while the
        // question was open, this offers it again; the label and the list of
        // held windows follow whatever the mode is afterwards.
        mnuNonPopup_Click();
    } else if (popups_.Waiting() > 0) {
        env_.boxes.Tell(QStringLiteral("未読メッセージが存在します。\r\n"
                                       "メッセージを確認するには不在モードを解除してください。"));
    }
}

} // namespace wibblet
