#pragma once

#include <QString>

namespace wibblet::ProgramFile {

/// The running program file, symbolic links resolved.
QString Path();
/// The settings file of a program file: its folder, its name without the
/// extension, then ".ini" (/opt/wibblet/wibblet gives /opt/wibblet/wibblet.ini).
QString SettingsPathFor(const QString& programFile);

} // namespace wibblet::ProgramFile
