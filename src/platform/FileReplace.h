#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace wibblet::FileReplace {

enum class Result {
    Replaced,
    Changed, ///< the file no longer held what was expected; nothing was written
    Failed,
};

/// The whole file as it was read, and its identity, size and change times
/// then (nothing of a missing file).
struct Contents {
    std::optional<QByteArray> bytes;
    QByteArray stamp;
};

/// The whole file; false when it exists but cannot be read whole (a folder,
/// no permission).
bool ReadWhole(const QString& path, Contents* contents);

/// Replaces the file at path by contents: they go to a new file beside it,
/// synced, that is renamed over it, so a reader never sees half of them and
/// a failure leaves the old file whole. The file's permissions are kept (a
/// new file gets the usual mode), a symbolic link is written through, and a
/// file that may not be written or is a folder is refused. Before the rename
/// the file is read again, and looked at once more just before it: it must
/// still be the one read as expected, same bytes, same file. That is the
/// guard that keeps a write from putting older contents back over a file
/// saved in the meantime.
Result Replace(const QString& path, const QByteArray& contents, const Contents& expected);

} // namespace wibblet::FileReplace
