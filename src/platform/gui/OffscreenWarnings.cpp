#include "platform/gui/OffscreenWarnings.h"

#include <QString>
#include <QtGlobal>

namespace wibblet {

namespace {

QtMessageHandler previous = nullptr;

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QStringLiteral("This plugin does not support")))
        return;
    previous(type, context, message);
}

} // namespace

void QuietOffscreenWarnings()
{
    previous = qInstallMessageHandler(Filter);
}

} // namespace wibblet
