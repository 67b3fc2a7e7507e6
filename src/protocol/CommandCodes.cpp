#include "protocol/CommandCodes.h"

namespace wibblet::mdlConst {

qint32 Number(const char* code)
{
    return QString::fromLatin1(code).toInt();
}

} // namespace wibblet::mdlConst
