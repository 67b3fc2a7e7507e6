#include "Observer.h"

#include "ObservedBoxes.h"
#include "mainwin/frmMain.h"
#include "msgwin/frmPopup.h"
#include "msgwin/frmPopupCl.h"
#include "platform/gui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

#include <unistd.h>

#include <cstdio>

namespace wibblet::test {

Observer::Observer(frmMain& main, const TrayIcon& tray, const ObservedBoxes& boxes)
    : main_(main),
      tray_(tray),
      boxes_(boxes),
      notifier_(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, &Observer::ReadInput);
    // Every window shown, wherever it is built: received-message windows are
    // reported the moment they come up, in the order they do.
    qApp->installEventFilter(this);
}

bool Observer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->objectName() == QLatin1String("frmPopupCl")) {
        const auto* window = qobject_cast<QWidget*>(watched);
        if (window && window->isWindow()) {
            const QByteArray line = QStringLiteral("popup\t%1\t%2\n")
                                        .arg(ObservedBoxes::Escaped(window->windowTitle()))
                                        .arg(main_.popups().OnScreen())
                                        .toUtf8();
            std::fputs(line.constData(), stdout);
            std::fflush(stdout);
        }
    }
    return QObject::eventFilter(watched, event);
}

QByteArray Observer::Report() const
{
    QStringList lines;
    MemberTable& members = main_.members();
    for (int row = 1; row <= members.Count(); ++row) {
        QStringList cells{QStringLiteral("member")};
        for (int column = 0; column < MemberTable::ColumnCount; ++column)
            cells << ObservedBoxes::Escaped(members.Text(row, column));
        lines << cells.join(QLatin1Char('\t'));
    }
    lines << QStringLiteral("numpop\t%1").arg(main_.popups().NumPop());
    lines << QStringLiteral("onscreen\t%1").arg(main_.popups().OnScreen());
    lines << QStringLiteral("waiting\t%1").arg(main_.popups().Waiting());
    lines << QStringLiteral("numopn\t%1").arg(main_.NumOpN());
    lines << QStringLiteral("tray\t%1\t%2").arg(tray_.Shown() ? 1 : 0).arg(tray_.Tip());
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        lines << QStringLiteral("window\t") + ObservedBoxes::Escaped(window->windowTitle());
        // A received message's text, as its window shows it.
        if (const auto* text = window->findChild<QLabel*>(QStringLiteral("lblMSG")))
            lines << QStringLiteral("text\t") + ObservedBoxes::Escaped(text->text());
        // The compose window's text, as typed so far.
        const auto* typed = window->findChild<QTextEdit*>(QStringLiteral("txtMSG"));
        if (typed && window->objectName() == QLatin1String("frmPopup"))
            lines << QStringLiteral("compose\t") + ObservedBoxes::Escaped(typed->toPlainText());
    }
    for (const BoxRequest& box : boxes_.shown)
        lines << QStringLiteral("box\t%1\t%2")
                     .arg(ObservedBoxes::Escaped(box.Caption()), ObservedBoxes::Escaped(box.text));
    lines << QStringLiteral("end");
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

void Observer::ReadInput()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // Standard input closed: nobody asks any more.
        notifier_->setEnabled(false);
        return;
    }
    input_.append(buffer, n);
    qsizetype newline;
    while ((newline = input_.indexOf('\n')) >= 0) {
        const QByteArray line = input_.left(newline).trimmed();
        input_.remove(0, newline + 1);
        if (line == "state") {
            const QByteArray report = Report();
            std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
            std::fflush(stdout);
        } else if (line.startsWith("send ")) {
            const QString rest = QString::fromUtf8(line.mid(5));
            const qsizetype space = rest.indexOf(QLatin1Char(' '));
            if (space > 0)
                Send(rest.left(space), rest.mid(space + 1));
        } else if (line.startsWith("sealed ")) {
            const QString rest = QString::fromUtf8(line.mid(7));
            const qsizetype space = rest.indexOf(QLatin1Char(' '));
            if (space > 0)
                Send(rest.left(space), rest.mid(space + 1), true);
        } else if (line.startsWith("reply ")) {
            const QString rest = QString::fromUtf8(line.mid(6));
            const qsizetype space = rest.indexOf(QLatin1Char(' '));
            if (space > 0)
                Reply(rest.left(space).toInt(), rest.mid(space + 1));
        } else if (line.startsWith("compose ")) {
            OpenCompose(QString::fromUtf8(line.mid(8)));
        } else if (line == "absent") {
            main_.mnuNonPopup_Click();
        } else if (line == "okall") {
            ClickEveryOk();
        }
    }
}

frmPopup* Observer::OpenCompose(const QString& host)
{
    // Through the controls, so the destination lookup, the compose window's
    // header and body and the pending columns are the program's own.
    auto* txtHost = main_.findChild<QLineEdit*>(QStringLiteral("txtHost"));
    if (!txtHost)
        return nullptr;
    txtHost->setText(host);
    main_.cmdSend_Click();
    return main_.Compose();
}

void Observer::Send(const QString& host, const QString& text, bool sealed)
{
    frmPopup* compose = OpenCompose(host);
    auto* txtMSG = compose ? compose->findChild<QTextEdit*>(QStringLiteral("txtMSG")) : nullptr;
    auto* chkSecret =
        compose ? compose->findChild<QCheckBox*>(QStringLiteral("chkSecret")) : nullptr;
    if (!txtMSG || (sealed && !chkSecret))
        return;
    txtMSG->setPlainText(text);
    if (sealed)
        chkSecret->setChecked(true);
    compose->cmdSend_Click();
}

void Observer::Reply(qint32 slot, const QString& text)
{
    // The window's reply item, as its right-click menu offers it: a disabled
    // item does nothing, and then neither does the compose window.
    frmPopupCl* window = main_.popups().PopCl().value(slot);
    if (!window || !window->mnuRes()->isEnabled())
        return;
    window->mnuRes()->trigger();
    frmPopup* compose = main_.Compose();
    auto* txtMSG = compose ? compose->findChild<QTextEdit*>(QStringLiteral("txtMSG")) : nullptr;
    if (!txtMSG || !compose->isVisible())
        return;
    txtMSG->setPlainText(text);
    compose->cmdSend_Click();
}

void Observer::ClickEveryOk()
{
    // A copy, so that nothing a click sets off can change the list walked.
    const QList<QPointer<frmPopupCl>> windows = main_.popups().PopCl();
    for (const QPointer<frmPopupCl>& window : windows) {
        if (window && window->isVisible())
            window->cmdOK()->click();
    }
}

} // namespace wibblet::test
