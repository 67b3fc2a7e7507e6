#pragma once

#include <QString>

namespace wibblet::ProgramFile {

/// The running program file, symbolic links resolved.
QString Path();

/// The folder for user settings: $XDG_CONFIG_HOME when it is an absolute path,
/// else ~/.config (a relative one is to be ignored).
QString ConfigHome(const QString& xdgConfigHome, const QString& home);

/// Where a program file keeps its settings file and its single-copy lock.
struct Places {
    QString settings;
    QString lock;
};

/// Beside the program file while its folder is writable by us:
/// /opt/wibblet/wibblet gives /opt/wibblet/wibblet.ini, locked on the program
/// file itself. Otherwise (a system-wide install) in configHome's wibblet
/// folder, made with mode 0700 if need be: wibblet.ini and wibblet.lock.
Places PlacesFor(const QString& programFile, const QString& configHome);

} // namespace wibblet::ProgramFile
