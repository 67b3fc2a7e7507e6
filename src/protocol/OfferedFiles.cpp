#include "protocol/OfferedFiles.h"

namespace wibblet {

namespace {

const QChar kColon = QLatin1Char(':');

// The window is small and a list can be long: a few names, each cut short,
// tell the user enough.
constexpr qsizetype kShownNames = 3;
constexpr qsizetype kNameChars = 40;

// The name of one entry: after the id, up to the first colon that is not
// doubled. Colons left before the id (a sender that starts each entry after
// BEL with one) are skipped.
QString NameOf(QStringView entry)
{
    qsizetype i = 0;
    while (i < entry.size() && entry[i] == kColon)
        ++i;
    const qsizetype idEnd = entry.indexOf(kColon, i);
    if (idEnd < 0)
        return {};
    QString name;
    for (i = idEnd + 1; i < entry.size(); ++i) {
        QChar c = entry[i];
        if (c == kColon) {
            if (i + 1 >= entry.size() || entry[i + 1] != kColon)
                break;
            ++i;
        } else if (c.unicode() < 0x20) {
            // A line break in a name would fake a line of the window.
            c = QLatin1Char(' ');
        }
        name += c;
    }
    return name;
}

QString Shortened(const QString& name)
{
    if (name.size() <= kNameChars)
        return name;
    qsizetype keep = kNameChars - 1;
    if (name[keep - 1].isHighSurrogate())
        --keep;
    return name.left(keep) + QChar(u'…');
}

} // namespace

QStringList ReadOfferedFiles(const QString& list)
{
    QStringView files(list);
    if (const qsizetype nul = files.indexOf(QChar(u'\0')); nul >= 0)
        files = files.first(nul);
    QStringList names;
    for (const QStringView entry : files.split(QChar(u'\a'))) {
        if (QString name = NameOf(entry); !name.isEmpty())
            names.append(name);
    }
    return names;
}

QString OfferedFilesLine(const QStringList& names)
{
    QString line = QStringLiteral("（添付ファイル");
    for (qsizetype i = 0; i < names.size() && i < kShownNames; ++i)
        line += QChar(u'「') + Shortened(names[i]) + QChar(u'」');
    if (names.size() > kShownNames)
        line += QStringLiteral("ほか%1件").arg(names.size() - kShownNames);
    return line + QStringLiteral("は受け取れません）");
}

} // namespace wibblet
