#include "mainwin/frmAbout.h"

#include "platform/gui/FormLayout.h"
#include "platform/gui/Screen.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace wibblet {

frmAbout::frmAbout(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                         | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Wibblet のﾊﾞｰｼﾞｮﾝ情報"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/letter.svg")));
    setFont(FormLayout::FormFont());
    setFixedSize(Screen::Px(5910), Screen::Px(1215));

    auto* picture = FormLayout::AddLabel(this, "Picture1", 240, 240, 480, 480);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(Screen::Px(480)));

    FormLayout::AddLabel(this, "lblName", QStringLiteral("Wibblet"), 960, 240, 3255, 240);
    FormLayout::AddLabel(
        this, "lblVer",
        VersionText(WIBBLET_VERSION_MAJOR, WIBBLET_VERSION_MINOR, WIBBLET_VERSION_PATCH), 4320, 240,
        1335, 240);
    FormLayout::AddLabel(this, "Label2", QStringLiteral("Wibblet 開発チーム"), 960, 600, 2895, 240);

    auto* ok = FormLayout::AddButton(this, "cmdOK", QStringLiteral("OK"), 4560, 720, 1095, 375);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    Screen::Centre(this);
}

QString frmAbout::VersionText(int major, int minor, int revision)
{
    QString text = QStringLiteral("Version %1.%2%3").arg(major).arg(minor).arg(revision);
    if (major < 1)
        text += QStringLiteral("β");
    return text;
}

} // namespace wibblet
