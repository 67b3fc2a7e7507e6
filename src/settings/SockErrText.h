#pragma once

#include <QString>

namespace wibblet {

/// "(" + number + ":" + its Japanese explanation + ")"; the explanation is
/// empty for a number the table does not hold. The number is matched as
/// text, exactly.
QString SockErrText(const QString& number);

} // namespace wibblet
