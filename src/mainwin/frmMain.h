#pragma once

#include "mainwin/Environment.h"
#include "protocol/Dispatcher.h"
#include "protocol/MemberTable.h"
#include "protocol/Program.h"

#include <QPointer>
#include <QSet>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QTreeView;

namespace wibblet {

enum class TrayEvent;
class frmAbout;
class frmOpenNotice;
class frmPopup;
class frmPopupCl;

/// The main window. Hidden at start and whenever minimized, it owns the
/// program's state: the socket's dispatcher, the member list, the timers and
/// the tray icon. It runs start-up and every way of ending.
class frmMain : public QWidget, private MessageHandler {
    Q_OBJECT
public:
    explicit frmMain(Environment env, QWidget* parent = nullptr);
    ~frmMain() override;

    /// Start-up. False when another copy runs: the process has been ended
    /// and nothing else happened.
    bool Form_Load();

    /// The exit button: asks, then ends.
    void cmdEnd_Click();
    /// The menu's exit item runs the exit button.
    void mnuEnd_Click() { cmdEnd_Click(); }
    /// Turns honouring of sealed messages on or off.
    void mnuSecretOk_Click();
    /// Brings the window back, as a left press on the tray icon does.
    void mnuResize_Click();
    /// Shows the about window, creating it when it is not open.
    void mnuAbout_Click();

    /// Main icon and plain tip.
    void UpdIcon();
    /// Message-waiting tip; which = 0 shows the letter, 1 the main icon,
    /// other values leave the picture.
    void FlashIcon(qint32 which);
    /// The 300 ms tick: plain tip, or one step of the flashing cycle. It
    /// runs only while a held message flashes or the tip has to catch up
    /// with the member count, and stops once the plain tip is shown.
    void timTimer2_Timer();
    /// A mouse event on the tray icon.
    void TrayIcon_Event(TrayEvent event, QPoint globalPos);

    /// "Wibblet(" member count ")".
    QString PlainTip() const;

    /// The lowest free slot of PopCl, or a new one at the top.
    qint32 PopNxt();
    /// Switches absence mode over, with its questions and broadcasts.
    void mnuNonPopup_Click();
    /// Coming back: offers to end absence mode.
    void NonPopOff();
    /// The 10 ms tick: empties the slots of dismissed windows.
    void timTimer3_Timer();
    /// Whether absence mode is on.
    bool AbsenceMode() const;

    /// Empties the member list and asks every host to announce itself.
    void cmdLstUpd_Click();
    /// Opens the compose window for the host in the destination box.
    void cmdSend_Click();
    /// Copies the selected row's host name into the destination box.
    void lsvMember_Click();
    /// Orders the list by the clicked header; columnHeader counts from 1.
    void lsvMember_ColumnClick(int columnHeader);
    /// The delivery watch: reports messages left unacknowledged for more
    /// than 30 seconds.
    void timTimer_Timer();
    /// Switches the IP Messenger emulation mode, re-binding the port.
    void mnuIP_MSG_Click();
    /// The compose window, created when it does not exist.
    frmPopup* ShowCompose();
    /// The compose window if it exists.
    frmPopup* Compose() const;

    /// Placements so far; PopCl reaches up to this index.
    qint32 NumPop = 0;
    /// Received-message windows by slot; null for an empty slot.
    QList<QPointer<frmPopupCl>> PopCl;
    /// Slots of the windows held back in this absence period, in arrival order.
    QList<qint32> NonPopID;
    /// Last used index of NonPopID; -1 when none is held.
    qint32 NumNonPop = 0;
    /// Index of the last open-notice window.
    qint32 NumOpN = -1;
    /// Open-notice windows, one per read notice.
    QList<QPointer<frmOpenNotice>> OpnNtc;

    Program& program() { return program_; }
    MemberTable& members() { return members_; }
    Dispatcher& dispatcher() { return dispatcher_; }
    QMenu* mnuMain() const { return mnuMain_; }

    /// Held-back messages wait unseen: the tray flashes. Whoever sets it
    /// also starts the tray tick.
    bool NonPopMsg = false;
    /// Phase of the flashing cycle: 0, 1 or 2.
    qint32 FlashCnt = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    /// Left press on the tray, and the menu's restore item.
    void Restore();
    // MessageHandler: messages and read notices from the dispatcher.
    void Message(const Datagram& d, bool sealed) override;
    void ReadNotice(const Datagram& d) override;
    /// A received window was dismissed: its slot is free and is emptied on
    /// the next 10 ms tick.
    void PopupDismissed(frmPopupCl* window, qint32 slot);
    /// Wires a new received window's open button and reply item.
    void ConnectPopup(frmPopupCl* window);
    /// Whether some row waits for a receipt.
    bool AnyPending() const;
    /// Starts the tray tick unless it runs already.
    void StartTrayTick();
    bool SlotFree(qint32 slot) const;
    /// Sends the exit, removes the tray icon and ends the process.
    void EndProgram();
    /// The user-name field lost the focus.
    void txtUserName_LostFocus();

    Environment env_;
    Program program_;
    MemberTable members_;
    Dispatcher dispatcher_;
    bool ending_ = false;

    QLineEdit* txtUser_ = nullptr;
    QLineEdit* txtUserName_ = nullptr;
    QLabel* lblNonPopup_ = nullptr;
    QPushButton* cmdLstUpd_ = nullptr;
    QTreeView* lsvMember_ = nullptr;
    QLineEdit* txtHost_ = nullptr;
    QPushButton* cmdSend_ = nullptr;
    QPushButton* cmdEnd_ = nullptr;
    QTimer* timTimer_ = nullptr;
    QTimer* timTimer2_ = nullptr;
    QPointer<frmPopup> compose_;
    /// Hosts whose delivery notice is open: not reported again meanwhile.
    QSet<QString> watchNoticeOpen_;
    QTimer* timTimer3_ = nullptr;
    /// Dismissed windows waiting for the 10 ms tick, with their slots.
    QList<QPair<qint32, QPointer<frmPopupCl>>> DellID_;
    QPointer<frmAbout> about_;

    QMenu* mnuMain_ = nullptr;
    QAction* mnuResize_ = nullptr;
    QAction* mnuNonPopup_ = nullptr;
    QMenu* mnuOption_ = nullptr;
    QAction* mnuSecretOk_ = nullptr;
    QAction* mnuIP_MSG_ = nullptr;
    QAction* mnuAbout_ = nullptr;
    QAction* mnuEnd_ = nullptr;
};

} // namespace wibblet
