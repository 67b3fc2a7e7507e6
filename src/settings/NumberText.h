#pragma once

#include <QString>

namespace wibblet {

/// Reads a text as a signed 32-bit whole number: blanks around it and a sign
/// are allowed, a fractional part is rounded to the nearest whole number with
/// halves going to the even one, and a NUL ends the reading. Throws Failure 13
/// for a text that is not a number (the empty text included) and Failure 6 for
/// a value outside the 32-bit range.
qint32 ReadNumber(const QString& text);

/// ReadNumber that gives fallback instead of throwing.
qint32 ReadNumberOr(const QString& text, qint32 fallback);

} // namespace wibblet
