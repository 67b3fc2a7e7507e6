#include "protocol/MessageBody.h"

#include "protocol/Datagram.h"
#include "protocol/OfferedFiles.h"
#include "settings/NumberText.h"

namespace wibblet {

namespace {

const QChar kColon = QLatin1Char(':');
const QChar kWideColon = QChar(u'\uFF1A');
const QChar kNul = QChar(u'\0');

// A colon left in any field would shift the receiver's fields.
QString WidenColons(QString text)
{
    return text.replace(kColon, kWideColon);
}

} // namespace

QString WriteBody(const QString& text, const QString& title, const QString& ok, qint32 icon,
                  bool revealHost, const QString& hostName, const QString& userName)
{
    QString fullTitle = WidenColons(title);
    // The names in the sender note too: a user named "a:b" would otherwise
    // cut the receiver's title at "[a" and give "b])" to the OK caption.
    if (revealHost)
        fullTitle += QStringLiteral("  (from  ") + WidenColons(hostName) + QLatin1Char('[')
                     + WidenColons(userName) + QStringLiteral("])");
    return WidenColons(text) + kNul + kColon + fullTitle + kColon + WidenColons(ok) + kColon
           + QString::number(icon) + kNul;
}

MessageBody ReadBody(const Datagram& datagram, const QString& defTitle, const QString& defOk)
{
    // The body starts after the fifth colon; c[5] is past the end when there is none.
    const qsizetype start = datagram.c[5];
    const QString body = start < datagram.text.size() ? datagram.text.mid(start) : QString();

    MessageBody result;
    const qsizetype nul = body.indexOf(kNul);
    result.text = nul < 0 ? body : body.left(nul);

    // Presentation fields: ":" title ":" caption ":" icon after the NUL. The caption runs to
    // the last colon so that an older sender's unconverted caption keeps its colons.
    const QString rest = nul < 0 ? QString() : body.mid(nul + 1);
    // Offered files take the place of the presentation fields.
    if (datagram.filesOffered) {
        if (!result.text.isEmpty())
            result.text += QStringLiteral("\r\n");
        result.text += OfferedFilesLine(ReadOfferedFiles(rest));
    }
    const qsizetype second =
        !datagram.filesOffered && rest.startsWith(kColon) ? rest.indexOf(kColon, 1) : -1;
    const qsizetype last = rest.lastIndexOf(kColon);
    if (second < 0 || last <= second) {
        result.title = defTitle + QStringLiteral(" (from  ") + datagram.senderHost
                       + QLatin1Char('[') + datagram.senderName + QStringLiteral("])");
        result.ok = defOk;
        result.icon = kForeignIcon;
        return result;
    }
    result.title = rest.mid(1, second - 1);
    result.ok = rest.mid(second + 1, last - second - 1);
    result.icon = ReadNumberOr(rest.mid(last + 1), kForeignIcon);
    return result;
}

} // namespace wibblet
