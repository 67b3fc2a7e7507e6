#include "msgwin/frmPopup.h"

#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/MessageBoxes.h"
#include "platform/gui/FormLayout.h"
#include "platform/gui/Screen.h"
#include "protocol/CommandCodes.h"
#include "protocol/MemberTable.h"
#include "protocol/MessageBody.h"
#include "protocol/Packet.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "settings/Failure.h"
#include "settings/SockErrText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

namespace wibblet {

using FormLayout::AddButton;
using FormLayout::AddCaption;
using FormLayout::AddCheckBox;
using FormLayout::AddLabel;
using FormLayout::AddTextBox;

namespace {

constexpr int kIconCount = 9;
// The clown, selected when the window is created.
constexpr int kFirstIcon = 8;

const QString kCrLf = QStringLiteral("\r\n");

// The text box holds "\n" line breaks; the wire carries CR LF.
QString WireLineBreaks(QString text)
{
    text.replace(kCrLf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), kCrLf);
    return text;
}

bool IsEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

frmPopup::frmPopup(Program& program, MemberTable& members, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      program_(program),
      members_(members)
{
    setObjectName(QStringLiteral("frmPopup"));
    setWindowTitle(QStringLiteral("ポップアップ"));
    setFont(FormLayout::FormFont());
    setFixedSize(Screen::Px(5325), Screen::Px(5385));

    FormLayout::CondenseToFit(
        AddCaption(this, "Label1", QStringLiteral("メッセージタイトル："), 180, 180), 1620);
    txtTitle_ = AddTextBox(this, "txtTitle", 1620, 120, 3555, 315);

    auto* fraIcon = new QGroupBox(QStringLiteral("表示アイコンの選択"), this);
    fraIcon->setObjectName(QStringLiteral("fraIcon"));
    Screen::Place(fraIcon, 120, 540, 5055, 1095);
    fraIcon->setToolTip(QStringLiteral("メッセージと共に表示されるアイコンを選択します。"));
    auto* icons = new QButtonGroup(this);
    icons->setExclusive(true);
    for (int i = 0; i < kIconCount; ++i) {
        picIcon_[i] =
            AddLabel(fraIcon, QStringLiteral("picIcon%1").arg(i), 120 + 540 * i, 240, 480, 480);
        picIcon_[i]->setPixmap(
            QIcon(QStringLiteral(":/icons/msg%1.svg").arg(i)).pixmap(Screen::Px(480)));
        // A click on the picture chooses it too: the radio buttons are small.
        picIcon_[i]->installEventFilter(this);

        optIcon_[i] = new QRadioButton(fraIcon);
        optIcon_[i]->setObjectName(QStringLiteral("optIcon%1").arg(i));
        Screen::Place(optIcon_[i], 240 + 540 * i, 840, 195, 195);
        icons->addButton(optIcon_[i], i);
    }
    optIcon_[kFirstIcon]->setChecked(true);

    auto* label4 = AddCaption(this, "Label4", QStringLiteral("△"), 2520, 1680);
    label4->setToolTip(
        QStringLiteral("このアイコン（×）選択時には、メッセージの表示形式が変化します。"));

    AddCaption(this, "Label2", QStringLiteral("送信メッセージ："), 180, 1740);
    txtMSG_ = new QTextEdit(this);
    txtMSG_->setObjectName(QStringLiteral("txtMSG"));
    Screen::Place(txtMSG_, 120, 1980, 5055, 1935);
    txtMSG_->setAcceptRichText(false);
    txtMSG_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMSG_->setToolTip(QStringLiteral("送信するメッセージを記述します。（８行以内）"));
    connect(txtMSG_, &QTextEdit::textChanged, this, [this] { LimitText(); });

    auto* label5 =
        AddCaption(this, "Label5", QStringLiteral("（改行は Ctrl + Enter です。）"), 2880, 3960);
    label5->setStyleSheet(QStringLiteral("color: blue;"));

    FormLayout::CondenseToFit(
        AddCaption(this, "Label3", QStringLiteral("ＯＫボタンのキャプション："), 180, 4200), 2040);
    txtOK_ = AddTextBox(this, "txtOK", 2040, 4140, 1275, 315);
    // The IPA face's line is a pixel taller than the 12 px the layout gives
    // this hint above the box's corner: lying over the box, the foot of 改
    // rests on its top edge instead of being hidden under it.
    label5->raise();
    txtOK_->setToolTip(
        QStringLiteral("メッセージ受信時の「ＯＫ」ボタンに表示する文字列を設定します。"));

    chkHost_ = AddCheckBox(this, "chkHost", QStringLiteral("相手にホスト名を通知する"), 120, 4560);
    chkSecret_ =
        AddCheckBox(this, "chkSecret", QStringLiteral("封書（対IP-messenger用）"), 2760, 4560);

    cmdSend_ = AddButton(this, "cmdSend", QStringLiteral("メッセージ送信"), 1980, 4920, 1275, 375);
    cmdSend_->setDefault(true);
    connect(cmdSend_, &QPushButton::clicked, this, [this] { cmdSend_Click(); });

    // A plain window has no default button of its own: Enter in any field
    // is caught here and sends, as the default button would.
    for (QWidget* control : findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus && control != cmdSend_)
            control->installEventFilter(this);
    }

    Form_Load();
}

void frmPopup::Form_Load()
{
    txtTitle_->setText(program_.settings.DEF_TITLE);
    txtMSG_->clear();
    txtOK_->setText(program_.settings.DEF_OK);
    chkHost_->setChecked(true);
    Screen::Centre(this);
}

void frmPopup::cmdSend_Click()
{
    if (!MaySend())
        return;
    const bool sealed = chkSecret_->isChecked();
    const QString body = WriteBody(WireLineBreaks(txtMSG_->toPlainText()), txtTitle_->text(),
                                   txtOK_->text(), SelectedIcon(), chkHost_->isChecked(),
                                   program_.hostNameText, program_.userNameText);
    QString header;
    if (!sealed)
        header = MakePkt(program_, ReqMessage);
    else if (Settings::IsOn(program_.settings.IP_MSG))
        header = MakePktIpm(program_, ReqSealed);
    else
        header = MakePkt(program_, ReqSealed);
    const qint32 packetNo = program_.packetNo;

    try {
        // Other traffic (answers, broadcasts, replies to arrivals) moves the
        // shared endpoint while the window is open: aim it again right here.
        SetRemote(program_, destination_);
        SendPkt(program_, header + body);
        Record(packetNo, sealed);
    } catch (const Failure& failure) {
        BoxRequest box;
        box.title = QStringLiteral("送信できません。<(_ _)>");
        box.text =
            QStringLiteral("メッセージ送信時に、謎の通信エラーが発生しました。") + kCrLf + kCrLf
            + SockErrText(QString::number(failure.Number())) + kCrLf + kCrLf
            + QStringLiteral("送信先相手が存在しないか、受信不可能な状態である可能性があります。")
            + kCrLf + QStringLiteral("送信メッセージはネットの藻屑と消えました。");
        program_.boxes.Show(box);
    }

    hide();
    Form_Load();
}

bool frmPopup::MaySend()
{
    if (EncodingFor(program_, destination_) == TextEncoding::Utf8)
        return true;
    // In the order the window shows them: title, text, caption.
    const QStringList missing =
        Cp932::Missing(txtTitle_->text() + txtMSG_->toPlainText() + txtOK_->text());
    if (missing.isEmpty())
        return true;
    QStringList shown;
    for (const QString& character : missing) {
        // An invisible one (a joiner, a variation selector) by its number.
        const char32_t code = character.toUcs4().value(0);
        shown << (QChar::isPrint(code)
                      ? character
                      : QStringLiteral("U+%1").arg(code, 4, 16, QLatin1Char('0')).toUpper());
    }
    BoxRequest box;
    box.title = QStringLiteral("送れない文字があります。(^-^;");
    box.text = QStringLiteral("次の文字は、相手に送ることができません。") + kCrLf + kCrLf
               + shown.join(QLatin1Char(' ')) + kCrLf + kCrLf
               + QStringLiteral("「?」に置き換えて、このまま送信しますか？");
    box.buttons = BoxButtons::YesNo;
    // The box lets events through: the window may be gone when it closes.
    const QPointer<frmPopup> self(this);
    const BoxAnswer answer = program_.boxes.Show(box);
    if (!self)
        return false;
    if (answer == BoxAnswer::Yes)
        return true;
    txtMSG_->setFocus();
    return false;
}

void frmPopup::txtMSG_LostFocus()
{
    if (LenAnsi(txtMSG_->toPlainText()) <= kMaxBytes)
        return;
    program_.boxes.Tell(QStringLiteral("メッセージに指定できる文字は、")
                        + QString::number(kMaxBytes) + QStringLiteral(" バイト迄です。"));
    txtMSG_->setFocus();
}

int frmPopup::SelectedIcon() const
{
    for (int i = 0; i < kIconCount; ++i) {
        if (optIcon_[i]->isChecked())
            return i;
    }
    return kFirstIcon;
}

void frmPopup::Record(qint32 packetNo, bool sealed)
{
    // The destination is an address when it came from a row, a host name
    // when it was typed; a host without a row simply goes unwatched. Rows
    // may share an address (a host gone without its exit, a newcomer in its
    // place): the host name, where there is one, decides first.
    int row = members_.chkMember(hostName_);
    for (int i = 1; i <= members_.Count() && row < 0; ++i) {
        if (members_.Text(i, MemberTable::ColIP) == destination_)
            row = i;
    }
    if (row < 0)
        row = members_.chkMember(destination_);
    if (row < 0)
        return;

    const QString number = QString::number(packetNo);
    if (sealed) {
        members_.SetText(row, MemberTable::ColSealed, number);
    } else {
        members_.SetText(row, MemberTable::ColStandard, number);
        members_.SetText(row, MemberTable::ColSendTime,
                         Clock::TimeText(program_.clock.Now().time()));
    }
}

void frmPopup::LimitText()
{
    const int excess = static_cast<int>(txtMSG_->toPlainText().size()) - kMaxBytes;
    if (excess <= 0)
        return;
    // Refuse what was just typed or pasted (it ends at the cursor) rather
    // than cutting the end off text the user already had.
    QTextCursor cursor = txtMSG_->textCursor();
    const int end = std::max(cursor.position(), excess);
    int start = end - excess;
    if (start > 0 && txtMSG_->document()->characterAt(start).isLowSurrogate())
        --start;
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    txtMSG_->setTextCursor(cursor);
}

bool frmPopup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsEnter(key)) {
            if (watched == txtMSG_ && (key->modifiers() & Qt::ControlModifier))
                txtMSG_->insertPlainText(QStringLiteral("\n"));
            else
                cmdSend_Click();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == txtMSG_) {
        // Leaving for another application or a box is not leaving the field;
        // the check itself waits until the focus has settled.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            QMetaObject::invokeMethod(
                this, [this] { txtMSG_LostFocus(); }, Qt::QueuedConnection);
    } else if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < kIconCount; ++i) {
            if (watched == picIcon_[i]) {
                optIcon_[i]->setChecked(true);
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmPopup::closeEvent(QCloseEvent* event)
{
    // The owner keeps only a guarded pointer: it clears, and the next showing
    // builds a fresh window.
    event->accept();
    deleteLater();
}

} // namespace wibblet
