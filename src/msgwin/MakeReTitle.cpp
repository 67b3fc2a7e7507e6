#include "msgwin/MakeReTitle.h"

namespace wibblet {

QString MakeReTitle(const QString& title)
{
    if (title.isEmpty())
        return QStringLiteral("Re: ");
    const QString prefix = QStringLiteral("Re：");
    QString text = title.trimmed();
    if (text.startsWith(prefix))
        text = text.mid(prefix.size());
    const qsizetype bracket = text.indexOf(QLatin1Char('('));
    if (bracket >= 0)
        text.truncate(bracket);
    return prefix + text.trimmed();
}

} // namespace wibblet
