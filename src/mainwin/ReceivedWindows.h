#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QQueue>
#include <QString>

#include <functional>

class QTimer;

namespace wibblet {

class frmPopupCl;

/// A received message as it waits to be shown: what its window needs, and no
/// window yet. A held message costs its texts and little more.
struct ReceivedMessage {
    QString text;
    QString title;
    QString ok;
    qint32 icon = 0;
    QString senderAddress;  ///< where a reply or a late read notice goes
    QString senderHost;     ///< named by the reply item
    QString packetNo;       ///< the packet-number field, as received
    bool covered = false;   ///< a sealed message, shown under its open button
    bool answerable = true; ///< replies may go to the sender
};

/// The received messages: those on screen, each in a window of its own in a
/// numbered slot of PopCl, and those still waiting, in arrival order. At most
/// kMaxOnScreen windows are on screen; the others wait and come up, oldest
/// first, as windows are dismissed. In absence mode every new message waits.
/// A dismissed window's slot is free at once and emptied on the next 10 ms
/// tick.
class ReceivedWindows : public QObject {
    Q_OBJECT
public:
    /// More windows than this would bury the desktop; further messages wait.
    static constexpr int kMaxOnScreen = 20;
    /// Windows built per event-loop turn when many may come up at once, so
    /// the program keeps answering meanwhile.
    static constexpr int kShownPerTurn = 4;

    /// build: a filled window for a message, not yet shown.
    using Builder = std::function<frmPopupCl*(const ReceivedMessage&)>;
    ReceivedWindows(Builder build, QObject* parent);

    /// Counts the message and shows it now when nothing waits before it and
    /// there is room; otherwise it waits its turn.
    void Accept(ReceivedMessage message);
    /// Absence mode: new messages wait unseen. Switched off, the waiting ones
    /// come up a few per event-loop turn.
    void SetHolding(bool holding);
    /// The 10 ms tick: empties the slots of dismissed windows.
    void timTimer3_Timer();

    /// Messages accepted so far; PopCl reaches up to this index.
    qint32 NumPop() const { return NumPop_; }
    /// Received-message windows by slot; null for an empty slot.
    const QList<QPointer<frmPopupCl>>& PopCl() const { return PopCl_; }
    /// Messages not yet shown.
    qsizetype Waiting() const { return waiting_.size(); }
    /// Windows on screen: shown and neither dismissed nor closed.
    int OnScreen() const { return onScreen_.size(); }

Q_SIGNALS:
    /// Messages began or ceased to wait.
    void WaitingChanged(bool waiting);

private:
    /// The lowest free slot of PopCl, or a new one at the top.
    qint32 PopNxt();
    bool SlotFree(qint32 slot) const;
    /// Shows waiting messages while there is room, at most `most` of them.
    void ShowWaiting(int most);
    void ShowNow(const ReceivedMessage& message);
    /// Shows the rest of the waiting messages over the next turns.
    void ScheduleShowing();
    /// A window left the screen (dismissed or closed); the next may come up.
    void LeftScreen(frmPopupCl* window);
    /// A window was dismissed: its slot is free and is emptied on the next tick.
    void PopupDismissed(frmPopupCl* window, qint32 slot);
    /// Tells whether messages wait, when that changed since `before`.
    void NoteWaiting(bool before);

    Builder build_;
    qint32 NumPop_ = 0;
    QList<QPointer<frmPopupCl>> PopCl_;
    QQueue<ReceivedMessage> waiting_;
    QList<frmPopupCl*> onScreen_;
    bool holding_ = false;
    /// Dismissed windows waiting for the 10 ms tick, with their slots.
    QList<QPair<qint32, QPointer<frmPopupCl>>> DellID_;
    QTimer* timTimer3_;
    QTimer* showTimer_;
};

} // namespace wibblet
