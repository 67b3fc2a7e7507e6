#include "platform/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace wibblet::ProgramFile {

QString Path()
{
    // Qt reads /proc/self/exe, which already names the real file behind a link.
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

QString ConfigHome(const QString& xdgConfigHome, const QString& home)
{
    if (QDir::isAbsolutePath(xdgConfigHome))
        return QDir::cleanPath(xdgConfigHome);
    return QDir(home).filePath(QStringLiteral(".config"));
}

Places PlacesFor(const QString& programFile, const QString& configHome)
{
    const QFileInfo info(programFile);
    const QString name = info.completeBaseName();
    const QString ini = name + QStringLiteral(".ini");
    // access() asks for the real user, and says writable to root anywhere but
    // on a read-only file system: root keeps its settings beside the program.
    const QString folder = info.absolutePath();
    if (configHome.isEmpty() || ::access(QFile::encodeName(folder).constData(), W_OK) == 0)
        return {QDir(folder).filePath(ini), programFile};

    // Made private (mode 0700) where it is made; one the user already has
    // stays as it is.
    const QString settingsFolder = QDir(configHome).filePath(QStringLiteral("wibblet"));
    QDir().mkpath(QFileInfo(configHome).absolutePath());
    for (const QString& made : {configHome, settingsFolder})
        ::mkdir(QFile::encodeName(made).constData(), 0700);
    const QDir settingsDir(settingsFolder);
    return {settingsDir.filePath(ini), settingsDir.filePath(name + QStringLiteral(".lock"))};
}

} // namespace wibblet::ProgramFile
