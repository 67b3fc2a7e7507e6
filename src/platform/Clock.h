#pragma once

#include <QDateTime>
#include <QString>

namespace wibblet {

/// The current date and time, and the formats the program shows them in.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;

    /// Time of day as the program writes it down ("hh:mm:ss", 24 hours).
    static QString TimeText(const QTime& time);
    /// Reads a time-of-day text back; invalid when the text is not a time.
    static QTime ParseTime(const QString& text);
    /// "mmm dd": the locale's abbreviated month name and a two-digit day.
    static QString MonthDay(const QDate& date);
    /// "hh:mm", two digits each, 24 hours.
    static QString HourMinute(const QTime& time);
    /// "hh:mm:ss", two digits each, 24 hours.
    static QString HourMinuteSecond(const QTime& time);
};

/// The machine's clock.
class SystemClock : public Clock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

} // namespace wibblet
