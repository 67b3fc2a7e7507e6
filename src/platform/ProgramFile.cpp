#include "platform/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace wibblet::ProgramFile {

QString Path()
{
    // Qt reads /proc/self/exe, which already names the real file behind a link.
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

QString SettingsPathFor(const QString& programFile)
{
    const QFileInfo info(programFile);
    return QDir(info.absolutePath()).filePath(info.completeBaseName() + QStringLiteral(".ini"));
}

} // namespace wibblet::ProgramFile
