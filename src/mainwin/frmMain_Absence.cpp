// Absence mode and the table of received-message windows.
#include "mainwin/frmMain.h"

#include "msgwin/frmPopupCl.h"
#include "platform/MessageBoxes.h"
#include "platform/gui/Screen.h"
#include "protocol/CommandCodes.h"
#include "protocol/Presence.h"
#include "settings/Failure.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

namespace wibblet {

bool frmMain::AbsenceMode() const
{
    return mnuNonPopup_->isChecked();
}

bool frmMain::SlotFree(qint32 slot) const
{
    // A window that is still unread, shown or held back, keeps its slot
    // whatever its title; only dismissal or closing frees it.
    const frmPopupCl* window = PopCl.at(slot);
    if (!window || window->IsClosed())
        return true;
    for (const auto& [dismissedSlot, dismissed] : DellID_) {
        if (dismissedSlot == slot && dismissed == window)
            return true;
    }
    return false;
}

qint32 frmMain::PopNxt()
{
    for (qint32 slot = 0; slot < PopCl.size(); ++slot) {
        if (SlotFree(slot))
            return slot;
    }
    if (NumPop == INT32_MAX)
        throw Failure(Failure::Overflow);
    return ++NumPop;
}

void frmMain::PopupDismissed(frmPopupCl* window, qint32 slot)
{
    DellID_.append({slot, window});
    timTimer3_->start();
}

void frmMain::timTimer3_Timer()
{
    // Every dismissed window is released, however many fell within one tick.
    for (const auto& [slot, window] : std::as_const(DellID_)) {
        if (slot >= 0 && slot < PopCl.size() && window && PopCl.at(slot) == window) {
            PopCl[slot] = nullptr;
            window->deleteLater();
        }
    }
    DellID_.clear();
    timTimer3_->stop();
}

void frmMain::mnuNonPopup_Click()
{
    if (!mnuNonPopup_->isChecked()) {
        const BoxAnswer answer = env_.boxes.Show(
            {QStringLiteral("不在モードを有効にします。\r\n\r\n"
                            "不在モード中はメッセージを受信してもポップアップしません。\r\n"
                            "長時間不在モードが続くと、その間に受信したメッセージが流れてしまうことがあります。\r\n"
                            "ご注意ください。"),
             QString(), BoxButtons::OkCancel});
        if (answer != BoxAnswer::Ok) {
            env_.boxes.Tell(QStringLiteral("不在モードはキャンセルされました。"));
            return;
        }
        env_.boxes.Tell(QStringLiteral("不在モードを有効にしました。"));
        mnuNonPopup_->setChecked(true);
        lblNonPopup_->show();
        NonPopID = {0};
        NumNonPop = -1;
        SendAbsence(program_, ReqAbsent);
        return;
    }

    mnuNonPopup_->setChecked(false);
    lblNonPopup_->hide();
    SendAbsence(program_, ReqPresent);
    if (NonPopMsg) {
        env_.boxes.Tell(QStringLiteral("不在モード設定中に受信した、未読メッセージを表示します。\r\n\r\n"
                                        "複数メッセージを受信していた場合、メッセージが流れてしまっている可能性があります。"));
        for (qint32 i = 0; i <= NumNonPop && i < NonPopID.size(); ++i) {
            frmPopupCl* window = PopCl.value(NonPopID.at(i));
            if (!window)
                continue;
            window->show();
            Screen::SetTopMost(window);
        }
        NonPopMsg = false;
        // The next tick puts the plain tip back and stops.
        StartTrayTick();
    }
}

void frmMain::NonPopOff()
{
    if (!AbsenceMode()) {
        lblNonPopup_->hide();
        return;
    }
    lblNonPopup_->show();
    const BoxAnswer answer = env_.boxes.Show(
        {QStringLiteral("不在モードが設定されています。\r\n解除しますか？"), QString(), BoxButtons::YesNo});
    if (answer == BoxAnswer::Yes) {
        mnuNonPopup_Click();
        lblNonPopup_->hide();
    } else if (NonPopMsg) {
        env_.boxes.Tell(QStringLiteral("未読メッセージが存在します。\r\n"
                                        "メッセージを確認するには不在モードを解除してください。"));
    }
}

} // namespace wibblet
