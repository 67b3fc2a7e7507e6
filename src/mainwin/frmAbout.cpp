#include "mainwin/frmAbout.h"

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
    setFont(QFont(QStringLiteral("MS UI Gothic"), 9));
    setFixedSize(Screen::Px(5910), Screen::Px(1215));

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    Screen::Place(picture, 240, 240, 480, 480);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(Screen::Px(480)));

    auto* name = new QLabel(QStringLiteral("Wibblet"), this);
    name->setObjectName(QStringLiteral("lblName"));
    Screen::Place(name, 960, 240, 3255, 240);

    auto* version = new QLabel(
        VersionText(WIBBLET_VERSION_MAJOR, WIBBLET_VERSION_MINOR, WIBBLET_VERSION_PATCH), this);
    version->setObjectName(QStringLiteral("lblVer"));
    Screen::Place(version, 4320, 240, 1335, 240);

    auto* author = new QLabel(QStringLiteral("Wibblet 開発チーム"), this);
    author->setObjectName(QStringLiteral("Label2"));
    Screen::Place(author, 960, 600, 2895, 240);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    Screen::Place(ok, 4560, 720, 1095, 375);
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
