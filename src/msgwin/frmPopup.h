#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTextEdit;

namespace wibblet {

class MemberTable;
class Program;

/// The compose window: title, text, the receiver's OK caption, an icon,
/// whether to reveal the host, whether to seal. It sends to the destination
/// chosen when it was opened, whatever traffic the socket handles meanwhile.
/// Closing it by its frame discards it.
class frmPopup : public QWidget {
    Q_OBJECT
public:
    frmPopup(Program& program, MemberTable& members, QWidget* parent = nullptr);

    /// The host the next message goes to: an address or a host name, and
    /// the name of the host it is written to, when known. A host killed
    /// without its exit leaves its row behind, and another host may take its
    /// address: the name picks the row that gets the delivery watch.
    void SetDestination(const QString& host, const QString& hostName = QString())
    {
        destination_ = host;
        hostName_ = hostName;
    }
    QString Destination() const { return destination_; }

    /// Loading: default title and caption, empty text, host revealed, centred.
    /// The icon choice and the sealed box stay as they are.
    void Form_Load();
    /// Sends the message, notes it on the addressee's row, hides and resets;
    /// first asks, naming them, when the destination's encoding lacks some
    /// of its characters (they would arrive as "?"): No keeps the window.
    void cmdSend_Click();
    /// The byte-length check run when the focus leaves the text.
    void txtMSG_LostFocus();

    QLineEdit* txtTitle() const { return txtTitle_; }

    /// The text box's limit, counted in code page 932 bytes by the check.
    static constexpr int kMaxBytes = 578;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    /// True when nothing would be lost on the way, or the user says to send
    /// anyway.
    bool MaySend();
    /// The selected icon, 0 to 8.
    int SelectedIcon() const;
    /// Notes the sent packet on the row of the destination, if it has one:
    /// the row of its host name, else the first with its address.
    void Record(qint32 packetNo, bool sealed);
    /// Keeps the text within kMaxBytes characters as it is typed.
    void LimitText();

    Program& program_;
    MemberTable& members_;
    QString destination_;
    QString hostName_;

    QLineEdit* txtTitle_ = nullptr;
    QLabel* picIcon_[9] = {};
    QRadioButton* optIcon_[9] = {};
    QTextEdit* txtMSG_ = nullptr;
    QLineEdit* txtOK_ = nullptr;
    QCheckBox* chkHost_ = nullptr;
    QCheckBox* chkSecret_ = nullptr;
    QPushButton* cmdSend_ = nullptr;
};

} // namespace wibblet
