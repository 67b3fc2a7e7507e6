#include "kit/WholeProgram.h"

#include <QDir>
#include <QFile>

namespace wibblet::test {

namespace {

// An empty program file in folder, which is made if need be.
QString ProgramFileIn(const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("wibblet"));
    QFile(path).open(QIODevice::WriteOnly);
    return path;
}

} // namespace

WholeProgram::WholeProgram(UdpSocket& socket, const QString& folder)
    : programFile(ProgramFileIn(folder)),
      main(Environment{socket, boxes, clock, tray, lock, programFile, [this] { ++ended; }})
{
}

bool WholeProgram::Load(const QByteArray& settings)
{
    bool written = true;
    if (!settings.isEmpty()) {
        QFile file(SettingsPath());
        written = file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size();
    }
    const bool loaded = main.Form_Load();
    return written && loaded;
}

} // namespace wibblet::test
