#include "protocol/CommandCodes.h"

namespace wibblet::mdlConst {

qint32 Number(const char* code)
{
    // The codes are nine decimal digits; every datagram is classified by
    // comparing with a dozen of them, so no text is built for it.
    qint64 value = 0;
    const char* c = code;
    for (; *c >= '0' && *c <= '9' && value <= INT32_MAX; ++c)
        value = value * 10 + (*c - '0');
    if (*c == '\0' && c != code && value <= INT32_MAX)
        return qint32(value);
    return QString::fromLatin1(code).toInt();
}

} // namespace wibblet::mdlConst
