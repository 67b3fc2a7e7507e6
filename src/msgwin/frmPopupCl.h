#pragma once

#include <QStringList>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace wibblet {

class MessageArea;
class MessageBoxes;

/// The window one received message pops up in: the sender's icon, title,
/// text and OK caption, or, for icon 4, a fake crash dialog. A right click
/// offers reply and copy; a sealed message waits under its open button.
class frmPopupCl : public QWidget {
    Q_OBJECT
public:
    /// programNames: the names a fake crash blames, one drawn at random.
    frmPopupCl(QStringList programNames, MessageBoxes& boxes, QWidget* parent = nullptr);

    QString cRipadd;     ///< the sender's address; a reply goes there
    QString cRpackno;    ///< the message's packet-number field, as received
    qint32 PopClID = -1; ///< this window's slot in the main window's table

    /// Fills the window and picks its presentation by the icon.
    void set_Form(const QString& text, const QString& title, const QString& ok, qint32 icon);
    /// The message-box layout.
    void FormSetNormal();
    /// The fake crash layout with its details block.
    void FormSetSpecial();

    /// True once the window has been closed by its frame.
    bool IsClosed() const { return closed_; }
    /// The message's title as received (the caption shows a blank one as a
    /// space); a reply's title is made from it.
    QString Title() const { return title_; }
    /// The program name the last fake crash blamed.
    QString CrashedProgram() const { return crashedProgram_; }

    QPushButton* cmdOK() const { return cmdOK_; }
    QPushButton* cmdSecret() const { return cmdSecret_; }
    QAction* mnuRes() const { return mnuRes_; }

Q_SIGNALS:
    /// OK or reply dismissed the window: its slot may be released.
    void Dismissed(qint32 popClID);
    /// The reply item was chosen (the window has already been dismissed).
    void ReplyRequested();
    /// The open button uncovered a sealed message.
    void SecretOpened();
    /// The window was closed by its frame.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdOK_Click();
    void cmdSecret_Click();
    void mnuRes_Click();
    void mnuCopy_Click();
    /// Hides, minimizes and empties the window, then reports its slot.
    void Dismiss();

    QStringList programNames_;
    MessageBoxes& boxes_;
    bool closed_ = false;
    QString crashedProgram_;
    QString title_;

    QLabel* picIcon_[10] = {};
    MessageArea* scrMSG_ = nullptr;
    QLabel* lblMSG_ = nullptr; ///< the text, in scrMSG_
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdSecret_ = nullptr;
    QPushButton* cmdDummy_ = nullptr;
    QLabel* lblDetail_ = nullptr;
    QMenu* mnuMain_ = nullptr;
    QAction* mnuRes_ = nullptr;
    QAction* mnuCopy_ = nullptr;
};

} // namespace wibblet
