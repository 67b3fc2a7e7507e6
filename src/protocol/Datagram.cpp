#include "protocol/Datagram.h"

#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"

namespace wibblet {

QString Datagram::Range(qsizetype first, qsizetype last) const
{
    const qsizetype length = last - first + 1;
    if (length < 0 || first < 1)
        throw Failure(Failure::InvalidArgument);
    return text.mid(first - 1, length);
}

Datagram Datagram::Parse(const QString& text, const QString& senderAddress)
{
    Datagram d;
    d.text = text;
    int found = 0;
    for (qsizetype i = 0; i < text.size() && found < 8; ++i) {
        if (text[i] == QLatin1Char(':'))
            d.c[++found] = i + 1;
    }
    const qsizetype length = text.size();
    if (d.c[8] == 0)
        d.c[8] = length - 1;
    if (d.c[5] == 0)
        d.c[5] = length + 1;

    d.command = ReadNumber(NzVal(d.Range(d.c[4] + 1, d.c[5] - 1)));
    d.senderHost = d.Range(d.c[3] + 1, d.c[4] - 1);
    d.senderAddress = senderAddress;
    d.senderName = d.Range(d.c[2] + 1, d.c[3] - 1);
    d.extra = d.Range(d.c[5] + 1, d.c[8]);
    return d;
}

QString CutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace wibblet
