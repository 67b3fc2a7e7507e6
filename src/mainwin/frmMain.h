#pragma once

#include "mainwin/Environment.h"
#include "settings/Program.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;

namespace wibblet {

/// The main window: hidden at start, it owns the program's state and runs
/// start-up and every way of ending.
class frmMain : public QWidget {
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

    /// Tip text of the tray icon: "Wibblet(" member count ")".
    QString PlainTip() const;

    Program& program() { return program_; }
    QMenu* mnuMain() const { return mnuMain_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    /// Sends the exit, removes the tray icon and ends the process.
    void EndProgram();
    /// The user-name field lost the focus.
    void txtUserName_LostFocus();

    Environment env_;
    Program program_;
    bool ending_ = false;

    QLabel* Label1_ = nullptr;
    QLineEdit* txtUser_ = nullptr;
    QLabel* Label3_ = nullptr;
    QLineEdit* txtUserName_ = nullptr;
    QPushButton* cmdEnd_ = nullptr;

    QMenu* mnuMain_ = nullptr;
    QMenu* mnuOption_ = nullptr;
    QAction* mnuSecretOk_ = nullptr;
    QAction* mnuIP_MSG_ = nullptr;
    QAction* mnuEnd_ = nullptr;
};

} // namespace wibblet
