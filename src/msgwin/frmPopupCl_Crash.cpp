#include "msgwin/frmPopupCl.h"

#include "msgwin/MessageArea.h"
#include "platform/gui/Screen.h"

#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

namespace wibblet {

namespace {

// The fake details: a page fault in the blamed program, then a frozen
// register dump. Every line ends in CR LF, the last one too.
QString CrashDetails(const QString& program)
{
    const QString lines[] = {
        program + QStringLiteral(" のページ違反です。"),
        QStringLiteral("モジュール : KERNEL32.DLL、アドレス : 015f:bff88833"),
        QStringLiteral("Registers:"),
        QStringLiteral("EAX=c0030114 CS=015f EIP=bff88833 EFLGS=00010212"),
        QStringLiteral("EBX=0062fc50 SS=0167 ESP=0052fff8 EBP=00530004"),
        QStringLiteral("ECX=8173df28 DS=0167 ESI=817313e4 FS=1c37"),
        QStringLiteral("EDX=bff768d5 ES=0167 EDI=005300ac GS=0000"),
        QStringLiteral("Bytes at CS:EIP:"),
        QStringLiteral("53 56 8b 0d d8 9d fc bf 57 33 f6 8b 38 8b 19 89"),
        QStringLiteral("Stack dump:"),
        QString(),
    };
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace

void frmPopupCl::FormSetSpecial()
{
    // Each window draws anew; an empty list (never from the settings, which
    // always hold one name) blames no one rather than failing.
    crashedProgram_.clear();
    if (!programNames_.isEmpty()) {
        const auto count = static_cast<quint32>(programNames_.size());
        crashedProgram_ = programNames_.at(QRandomGenerator::global()->bounded(count));
    }

    setFixedSize(Screen::Px(8640), Screen::Px(6255));
    cmdOK_->move(Screen::Px(7080), Screen::Px(120));
    // Nothing lies over the text: all of its rectangle is room.
    scrMSG_->SetRoom(1695);
    cmdDummy_->show();
    lblDetail_->setText(CrashDetails(crashedProgram_));
    lblDetail_->show();
    Screen::Centre(this);
}

} // namespace wibblet
