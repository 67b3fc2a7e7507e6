#pragma once

#include <QString>

namespace wibblet {

/// The title of a reply: "Re：" and the received title up to its first "(",
/// blanks trimmed, with any "Re：" it began with dropped; "Re: " for an
/// empty title.
QString MakeReTitle(const QString& title);

} // namespace wibblet
