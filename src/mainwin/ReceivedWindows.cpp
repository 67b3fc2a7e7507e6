#include "mainwin/ReceivedWindows.h"

#include "msgwin/frmPopupCl.h"
#include "platform/gui/Screen.h"
#include "settings/Failure.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace wibblet {

namespace {

// How far each slot's window sits below and right of the one before: enough
// for its title bar to show, less where the screen has no room for a whole
// stack, but never so little that the edges merge.
constexpr int kStackStepTwips = 360;
constexpr int kLeastStackStepTwips = 120;

// Moves a window, centred already, down and right by its slot's place in the
// stack; on a screen too small even for the least step, the stack starts
// again at the centre before it would leave the screen.
void PlaceInStack(QWidget* window, qint32 slot)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || slot <= 0)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int room = qMin(area.right() - frame.right(), area.bottom() - frame.bottom());
    const int least = qMax(1, Screen::Px(kLeastStackStepTwips));
    const int step =
        qMax(least, qMin(Screen::Px(kStackStepTwips), room / (ReceivedWindows::kMaxOnScreen - 1)));
    const int places = qMax(1, room / step + 1);
    const int offset = (slot % places) * step;
    window->move(window->pos() + QPoint(offset, offset));
}

} // namespace

ReceivedWindows::ReceivedWindows(Builder build, QObject* parent)
    : QObject(parent),
      build_(std::move(build)),
      PopCl_(1),
      timTimer3_(new QTimer(this)),
      showTimer_(new QTimer(this))
{
    // Runs only while a dismissed window waits for its slot to be emptied.
    timTimer3_->setObjectName(QStringLiteral("timTimer3"));
    timTimer3_->setInterval(10);
    connect(timTimer3_, &QTimer::timeout, this, &ReceivedWindows::timTimer3_Timer);

    // Each turn of the event loop builds a few windows, then lets datagrams,
    // timers and the user in again.
    showTimer_->setInterval(0);
    connect(showTimer_, &QTimer::timeout, this, [this] {
        ShowWaiting(kShownPerTurn);
        if (waiting_.isEmpty() || holding_ || onScreen_.size() >= kMaxOnScreen)
            showTimer_->stop();
    });
}

bool ReceivedWindows::SlotFree(qint32 slot) const
{
    // A window that is still unread keeps its slot whatever its title; only
    // dismissal or closing frees it.
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
    // Never reached while PopCl keeps an empty top slot; a slot past the top
    // grows the table.
    PopCl_.resize(PopCl_.size() + 1);
    return static_cast<qint32>(PopCl_.size() - 1);
}

void ReceivedWindows::Accept(ReceivedMessage message)
{
    if (NumPop_ == INT32_MAX)
        throw Failure(Failure::Overflow);
    ++NumPop_;
    if (PopCl_.size() <= NumPop_)
        PopCl_.resize(NumPop_ + 1);

    // Arrival order holds: a message shows at once only when none waits.
    if (waiting_.isEmpty() && !holding_ && onScreen_.size() < kMaxOnScreen) {
        ShowNow(message);
        return;
    }
    const bool before = !waiting_.isEmpty();
    waiting_.enqueue(std::move(message));
    NoteWaiting(before);
}

void ReceivedWindows::SetHolding(bool holding)
{
    holding_ = holding;
    if (!holding)
        ScheduleShowing();
}

void ReceivedWindows::ScheduleShowing()
{
    if (!waiting_.isEmpty() && !holding_ && onScreen_.size() < kMaxOnScreen)
        showTimer_->start();
}

void ReceivedWindows::ShowWaiting(int most)
{
    const bool before = !waiting_.isEmpty();
    for (int i = 0; i < most && !waiting_.isEmpty() && !holding_ && onScreen_.size() < kMaxOnScreen;
         ++i)
        ShowNow(waiting_.dequeue());
    NoteWaiting(before);
}

void ReceivedWindows::ShowNow(const ReceivedMessage& message)
{
    const qint32 slot = PopNxt();
    if (PopCl_.at(slot))
        PopCl_.at(slot)->deleteLater();
    frmPopupCl* window = build_(message);
    PopCl_[slot] = window;
    window->PopClID = slot;
    onScreen_.append(window);
    connect(window, &frmPopupCl::Dismissed, this, [this, window](qint32 id) {
        PopupDismissed(window, id);
        LeftScreen(window);
    });
    connect(window, &frmPopupCl::Closed, this, [this, window] { LeftScreen(window); });
    connect(window, &QObject::destroyed, this, [this, window] { LeftScreen(window); });

    // On top from its first showing: setting the hint later would build the
    // native window a second time.
    Screen::SetTopMost(window);
    PlaceInStack(window, slot);
    // Raised, not activated: the keyboard stays with the window the user
    // types in (the window shows without activating, see frmPopupCl).
    window->show();
    window->raise();
}

void ReceivedWindows::LeftScreen(frmPopupCl* window)
{
    if (onScreen_.removeOne(window))
        ScheduleShowing();
}

void ReceivedWindows::NoteWaiting(bool before)
{
    if (before != !waiting_.isEmpty())
        Q_EMIT WaitingChanged(!waiting_.isEmpty());
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

} // namespace wibblet
