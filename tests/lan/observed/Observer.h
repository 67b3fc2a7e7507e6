#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace wibblet {
class frmMain;
class frmPopup;
class TrayIcon;
} // namespace wibblet

namespace wibblet::test {

class ObservedBoxes;

/// Answers "state" lines on standard input with what the running program
/// shows: member rows, NumPop, the tray, visible windows (a received
/// message's with its text) and the boxes shown so far, closed by "end".
/// A line "send HOST TEXT" ("sealed HOST TEXT": sealed) sends TEXT to HOST
/// the way a user would:
/// destination box, send button, compose window; "compose HOST" stops short
/// of sending, leaving the compose window open for typing, and the report
/// then holds its text. A line "reply SLOT TEXT"
/// answers the message window in that slot through its reply item. A line
/// "absent" runs the absence-mode menu item; "okall" clicks the OK button of
/// every received-message window on screen. Whenever such a window is shown,
/// a line "popup TITLE ONSCREEN" is printed at once.
class Observer : public QObject {
    Q_OBJECT
public:
    Observer(frmMain& main, const TrayIcon& tray, const ObservedBoxes& boxes);

    /// The state report, every line but the last tab-separated.
    QByteArray Report() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadInput();
    /// Opens the compose window for HOST as the send button does.
    frmPopup* OpenCompose(const QString& host);
    void Send(const QString& host, const QString& text, bool sealed = false);
    void Reply(qint32 slot, const QString& text);
    void ClickEveryOk();

    frmMain& main_;
    const TrayIcon& tray_;
    const ObservedBoxes& boxes_;
    QSocketNotifier* notifier_;
    QByteArray input_;
};

} // namespace wibblet::test
