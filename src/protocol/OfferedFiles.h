#pragma once

#include <QStringList>

namespace wibblet {

/// IP Messenger's option on a message that offers files. The list of them
/// follows the text's NUL, where our own presentation fields would be.
inline constexpr qint32 kFileAttachOption = 0x00200000;

/// The names in an offered file list: per file, id ":" name ":" size ":"
/// time ":" attributes [":" extended attributes] ":", files apart by BEL
/// (0x07). A colon in a name comes doubled. Entries without a name are
/// skipped, control characters in a name become spaces, and the list ends
/// at a NUL.
QStringList ReadOfferedFiles(const QString& list);

/// The line a received window adds for offered files: the first three names,
/// each cut at 40 characters, how many more there are, and that none can be
/// received here.
QString OfferedFilesLine(const QStringList& names);

} // namespace wibblet
