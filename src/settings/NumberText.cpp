#include "settings/NumberText.h"

#include "settings/Failure.h"

namespace wibblet {

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

qint32 ReadNumber(const QString& text)
{
    qsizetype end = text.indexOf(QChar(u'\0'));
    if (end < 0)
        end = text.size();
    qsizetype i = 0;
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }

    // Whole part, kept exact: any value past 11 significant digits overflows.
    qint64 whole = 0;
    bool anyDigit = false;
    bool tooLarge = false;
    for (; i < end && IsDigit(text[i]); ++i) {
        anyDigit = true;
        if (whole > 99'999'999'999LL)
            tooLarge = true;
        else
            whole = whole * 10 + (text[i].unicode() - u'0');
    }

    // Fraction: only whether it is below, at or above one half matters.
    int firstFraction = -1;
    bool restNonZero = false;
    if (i < end && text[i] == QLatin1Char('.')) {
        ++i;
        for (; i < end && IsDigit(text[i]); ++i) {
            anyDigit = true;
            const int digit = text[i].unicode() - u'0';
            if (firstFraction < 0)
                firstFraction = digit;
            else if (digit != 0)
                restNonZero = true;
        }
    }
    if (!anyDigit || i != end)
        throw Failure(Failure::TypeMismatch);
    if (tooLarge)
        throw Failure(Failure::Overflow);

    if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    const qint64 value = negative ? -whole : whole;
    if (value < INT32_MIN || value > INT32_MAX)
        throw Failure(Failure::Overflow);
    return static_cast<qint32>(value);
}

qint32 ReadNumberOr(const QString& text, qint32 fallback)
{
    try {
        return ReadNumber(text);
    } catch (const Failure&) {
        return fallback;
    }
}

} // namespace wibblet
