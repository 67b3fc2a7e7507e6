#pragma once

#include <QObject>
#include <QString>

class QTimer;

namespace wibblet {

class MemberTable;
class TrayIcon;

/// The tray icon's tip, and its flashing while held-back messages wait
/// unseen. The 300 ms tick runs only while it has something to show: a held
/// message flashing, or a tip that no longer matches the member count. An
/// idle program then has no timer at all.
class TrayFlasher : public QObject {
    Q_OBJECT
public:
    TrayFlasher(TrayIcon& tray, const MemberTable& members, QObject* parent);

    /// "Wibblet(" member count ")".
    QString PlainTip() const;
    /// Held-back messages wait unseen, or no longer do; the tick shows it.
    void SetNonPopMsg(bool waiting);
    /// The 300 ms tick: plain tip, or one step of the flashing cycle. It
    /// stops once the plain tip is shown.
    void timTimer2_Timer();

    /// Held-back messages wait unseen: the tray flashes.
    bool NonPopMsg() const { return NonPopMsg_; }
    /// Phase of the flashing cycle: 0, 1 or 2.
    qint32 FlashCnt() const { return FlashCnt_; }

private:
    /// Main icon and plain tip.
    void UpdIcon();
    /// Message-waiting tip; which = 0 shows the letter, 1 the main icon, other
    /// values leave the picture.
    void FlashIcon(qint32 which);
    /// Starts the tick unless it runs already.
    void StartTrayTick();

    TrayIcon& tray_;
    const MemberTable& members_;
    bool NonPopMsg_ = false;
    qint32 FlashCnt_ = 0;
    QTimer* timTimer2_;
};

} // namespace wibblet
