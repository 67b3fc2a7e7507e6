#include "platform/Clock.h"

#include <QLocale>

namespace wibblet {

QString Clock::TimeText(const QTime& time)
{
    return HourMinuteSecond(time);
}

QTime Clock::ParseTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (const char* format : {"H:mm:ss", "H:mm"}) {
        const QTime parsed = QTime::fromString(trimmed, QString::fromLatin1(format));
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

QString Clock::MonthDay(const QDate& date)
{
    return QLocale().monthName(date.month(), QLocale::ShortFormat) + QLatin1Char(' ')
           + QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
}

QString Clock::HourMinute(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm"));
}

QString Clock::HourMinuteSecond(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace wibblet
