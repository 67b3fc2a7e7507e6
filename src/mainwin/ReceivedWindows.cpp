#include "mainwin/ReceivedWindows.h"

#include "msgwin/frmPopupCl.h"
#include "platform/gui/Screen.h"
#include "settings/Failure.h"

#include <QTimer>

namespace wibblet {

namespace {

qint32 Increment(qint32 value)
{
    if (value == INT32_MAX)
        throw Failure(Failure::Overflow);
    return value + 1;
}

} // namespace

ReceivedWindows::ReceivedWindows(QObject* parent)
    : QObject(parent),
      PopCl_(1),
      timTimer3_(new QTimer(this))
{
    // Runs only while a dismissed window waits for its slot to be emptied.
    timTimer3_->setObjectName(QStringLiteral("timTimer3"));
    timTimer3_->setInterval(10);
    connect(timTimer3_, &QTimer::timeout, this, &ReceivedWindows::timTimer3_Timer);
}

bool ReceivedWindows::SlotFree(qint32 slot) const
{
    // A window that is still unread, shown or held back, keeps its slot
    // whatever its title; only dismissal or closing frees it.
    const frmPopupCl* window = PopCl_.at(slot);
    if (!window || window->IsClosed())
        return true;
    for (const auto& [dismissedSlot, dismissed] : DellID_) {
        if (dismissedSlot == slot && dismissed == window)
            return true;
    }
    return false;
}

qint32 ReceivedWindows::PopNxt()
{
    for (qint32 slot = 0; slot < PopCl_.size(); ++slot) {
        if (SlotFree(slot))
            return slot;
    }
    if (NumPop_ == INT32_MAX)
        throw Failure(Failure::Overflow);
    return ++NumPop_;
}

qint32 ReceivedWindows::NewSlot()
{
    NumPop_ = Increment(NumPop_);
    const qint32 slot = PopNxt();
    if (PopCl_.size() <= NumPop_)
        PopCl_.resize(NumPop_ + 1);
    if (PopCl_.at(slot))
        PopCl_.at(slot)->deleteLater();
    return slot;
}

void ReceivedWindows::Put(qint32 slot, frmPopupCl* window)
{
    PopCl_[slot] = window;
    connect(window, &frmPopupCl::Dismissed, this,
            [this, window](qint32 id) { PopupDismissed(window, id); });
}

void ReceivedWindows::PopupDismissed(frmPopupCl* window, qint32 slot)
{
    DellID_.append({slot, window});
    timTimer3_->start();
}

void ReceivedWindows::timTimer3_Timer()
{
    // Every dismissed window is released, however many fell within one tick.
    for (const auto& [slot, window] : std::as_const(DellID_)) {
        if (slot >= 0 && slot < PopCl_.size() && window && PopCl_.at(slot) == window) {
            PopCl_[slot] = nullptr;
            window->deleteLater();
        }
    }
    DellID_.clear();
    timTimer3_->stop();
}

void ReceivedWindows::StartHolding()
{
    NonPopID_ = {0};
    NumNonPop_ = -1;
}

void ReceivedWindows::Hold(qint32 slot)
{
    NumNonPop_ = Increment(NumNonPop_);
    if (NonPopID_.size() <= NumNonPop_)
        NonPopID_.resize(NumNonPop_ + 1);
    NonPopID_[NumNonPop_] = slot;
}

void ReceivedWindows::ShowHeld()
{
    for (qint32 i = 0; i <= NumNonPop_ && i < NonPopID_.size(); ++i) {
        frmPopupCl* window = PopCl_.value(NonPopID_.at(i));
        if (!window)
            continue;
        window->show();
        Screen::SetTopMost(window);
    }
}

} // namespace wibblet
