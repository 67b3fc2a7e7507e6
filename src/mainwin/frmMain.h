#pragma once

#include "mainwin/Environment.h"
#include "mainwin/ReceivedWindows.h"
#include "mainwin/TrayFlasher.h"
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
/// program's state: the socket's dispatcher, the member list, the received
/// windows, the tray icon's tip and flashing, the delivery watch and absence
/// mode. It runs start-up and every way of ending.
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

    /// A mouse event on the tray icon.
    void TrayIcon_Event(TrayEvent event, QPoint globalPos);

    /// Switches absence mode over, with its questions and broadcasts.
    void mnuNonPopup_Click();
    /// Coming back: offers to end absence mode.
    void NonPopOff();
    /// Whether absence mode is on.
    bool AbsenceMode() const { return absent_; }

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

    /// Index of the last open-notice window.
    qint32 NumOpN() const { return NumOpN_; }
    /// Open-notice windows, one per read notice; null once closed.
    const QList<QPointer<frmOpenNotice>>& OpnNtc() const { return OpnNtc_; }

    Program& program() { return program_; }
    MemberTable& members() { return members_; }
    /// The received messages: windows by slot, and those waiting.
    const ReceivedWindows& popups() const { return popups_; }
    /// The tray's tip and flashing, whose tick a test may also run by hand.
    TrayFlasher& flasher() { return flasher_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Builds the controls before the window first comes up.
    void setVisible(bool visible) override;

private:
    /// The controls, built once: the first text box loads the fonts, which
    /// costs tens of milliseconds, so start-up builds them only after the
    /// entry is out and the tray icon drawn.
    void BuildWindow();
    void BuildControls();
    void BuildMenu();
    /// Left press on the tray, and the menu's restore item.
    void Restore();
    // MessageHandler: messages and read notices from the dispatcher.
    void Message(const Datagram& d, bool sealed) override;
    void ReadNotice(const Datagram& d) override;
    /// A filled window for a received message, not yet shown, its open
    /// button and reply item wired.
    frmPopupCl* BuildPopup(const ReceivedMessage& message);
    /// Sends to the socket's remote endpoint what follows a message's first
    /// receipt (second receipt, read notice, release of offered files);
    /// failures are ignored: the message is shown all the same.
    void SendAfterReceipt(const QString& datagram);
    /// Whether some row waits for a receipt.
    bool AnyPending() const;
    /// Turns absence mode on or off, with its menu mark and label.
    void SetAbsenceMode(bool on);
    /// Sends the exit, removes the tray icon and ends the process.
    void EndProgram();
    /// The user-name field lost the focus.
    void txtUserName_LostFocus();

    Environment env_;
    Program program_;
    MemberTable members_;
    Dispatcher dispatcher_;
    TrayFlasher flasher_;
    ReceivedWindows popups_;
    bool ending_ = false;
    /// Absence mode: received windows are held back, not shown. The menu's
    /// mark and the "不在設定中" label always show it.
    bool absent_ = false;
    qint32 NumOpN_ = -1;
    QList<QPointer<frmOpenNotice>> OpnNtc_;

    QLineEdit* txtUser_ = nullptr;
    QLineEdit* txtUserName_ = nullptr;
    QLabel* lblNonPopup_ = nullptr;
    QPushButton* cmdLstUpd_ = nullptr;
    QTreeView* lsvMember_ = nullptr;
    QLineEdit* txtHost_ = nullptr;
    QPushButton* cmdSend_ = nullptr;
    QPushButton* cmdEnd_ = nullptr;
    QTimer* timTimer_ = nullptr;
    QPointer<frmPopup> compose_;
    /// Hosts whose delivery notice is open: not reported again meanwhile.
    QSet<QString> watchNoticeOpen_;
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
