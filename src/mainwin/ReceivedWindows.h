#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

class QTimer;

namespace wibblet {

class frmPopupCl;

/// The received-message windows by slot. A dismissed window's slot is free at
/// once and is emptied on the next 10 ms tick. In absence mode the slots of
/// the windows held back are listed, in arrival order, to be shown on return.
class ReceivedWindows : public QObject {
    Q_OBJECT
public:
    explicit ReceivedWindows(QObject* parent);

    /// Counts a placement and returns its slot, with PopCl grown to hold it.
    /// A window still in the slot (closed, or dismissed and waiting for the
    /// tick) is deleted.
    qint32 NewSlot();
    /// Puts a new window into the slot NewSlot gave; its dismissal frees it.
    void Put(qint32 slot, frmPopupCl* window);
    /// The 10 ms tick: empties the slots of dismissed windows.
    void timTimer3_Timer();

    /// A new absence period: nothing is held yet.
    void StartHolding();
    /// Lists the slot as held back in this absence period.
    void Hold(qint32 slot);
    /// Shows the windows held back in this absence period, topmost, in
    /// arrival order.
    void ShowHeld();

    /// Placements so far; PopCl reaches up to this index.
    qint32 NumPop() const { return NumPop_; }
    /// Received-message windows by slot; null for an empty slot.
    const QList<QPointer<frmPopupCl>>& PopCl() const { return PopCl_; }
    /// Slots of the windows held back in this absence period, in arrival order.
    const QList<qint32>& NonPopID() const { return NonPopID_; }
    /// Last used index of NonPopID; -1 when none is held.
    qint32 NumNonPop() const { return NumNonPop_; }

private:
    /// The lowest free slot of PopCl, or a new one at the top.
    qint32 PopNxt();
    bool SlotFree(qint32 slot) const;
    /// A window was dismissed: its slot is free and is emptied on the next tick.
    void PopupDismissed(frmPopupCl* window, qint32 slot);

    qint32 NumPop_ = 0;
    QList<QPointer<frmPopupCl>> PopCl_;
    QList<qint32> NonPopID_;
    qint32 NumNonPop_ = 0;
    /// Dismissed windows waiting for the 10 ms tick, with their slots.
    QList<QPair<qint32, QPointer<frmPopupCl>>> DellID_;
    QTimer* timTimer3_;
};

} // namespace wibblet
