#include "msgwin/MakeReTitle.h"

namespace wibblet {

QString MakeReTitle(const QString& title)
{
    if (title.isEmpty())
        return QStringLiteral("Re: ");
    const QString prefix = QStringLiteral("Re：");
    QString s = title.trimmed();
    if (s.startsWith(prefix))
        s = s.mid(prefix.size());
    const qsizetype bracket = s.indexOf(QLatin1Char('('));
    if (bracket >= 0)
        s.truncate(bracket);
    return prefix + s.trimmed();
}

} // namespace wibblet
