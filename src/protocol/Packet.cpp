#include "protocol/Packet.h"

#include "platform/UdpSocket.h"
#include "protocol/CommandCodes.h"
#include "protocol/Program.h"

namespace wibblet {

namespace {

enum class CodeSet { Normal, Ipm };

QString CommandText(const Program& program, qint32 request, CodeSet set)
{
    const bool ipm = set == CodeSet::Ipm;
    const char* code = nullptr;
    switch (request) {
    case ReqEntry:
        code = ipm ? mdlConst::IPM_BR_ENTRY : mdlConst::BR_ENTRY;
        break;
    case ReqExit:
        code = ipm ? mdlConst::IPM_BR_EXIT : mdlConst::BR_EXIT;
        break;
    case ReqAnswer:
        code = ipm ? mdlConst::IPM_ANSENTRY : mdlConst::ANSENTRY;
        break;
    case ReqPresent:
        code = ipm ? mdlConst::IPM_BR_PRESENT : mdlConst::BR_PRESENT;
        break;
    case ReqReceipt:
        code = mdlConst::RECVMSG;
        break;
    case ReqReadNotice:
        code = mdlConst::READMSG;
        break;
    case ReqAbsent:
        code = ipm ? mdlConst::IPM_BR_ABSENCE : mdlConst::BR_ABSENCE;
        break;
    case ReqSealed:
        code = ipm ? mdlConst::IPM_SECRETMSG : mdlConst::SECRETMSG;
        break;
    case ReqAnsPubKey:
        code = ipm ? mdlConst::IPM_ANSPUBKEY : nullptr;
        break;
    case ReqReleaseFiles:
        code = ipm ? mdlConst::IPM_RELEASEFILES : nullptr;
        break;
    case ReqMessage:
        return QString::number(program.messageCode.toInt());
    default:
        return QString();
    }
    return code ? QString::number(mdlConst::Number(code)) : QString();
}

// A colon in a name would shift every later field for every receiver, so the
// names go out with it full-width, as message texts do.
QString HeaderField(const QString& text)
{
    QString field = text;
    return field.replace(QLatin1Char(':'), QChar(0xFF1A));
}

QString Header(Program& program, qint32 request, CodeSet set)
{
    const qint32 number = NextPacketNo(program);
    return QStringLiteral("1:") + QString::number(number) + QLatin1Char(':')
           + HeaderField(program.userNameText) + QLatin1Char(':')
           + HeaderField(program.socket.LocalHostName()) + QLatin1Char(':')
           + CommandText(program, request, set) + QLatin1Char(':');
}

} // namespace

qint32 NextPacketNo(Program& program)
{
    if (program.packetNo == 2147483646)
        program.packetNo = 0;
    return ++program.packetNo;
}

QString MakePkt(Program& program, qint32 request)
{
    return Header(program, request, CodeSet::Normal);
}

QString MakePktIpm(Program& program, qint32 request)
{
    return Header(program, request, CodeSet::Ipm);
}

QString NicknameExtra(const Program& program, const QString& plain)
{
    if (!Settings::IsOn(program.settings.IP_MSG))
        return plain;
    const QChar nul(u'\0');
    return HeaderField(program.userNameText) + nul + nul;
}

} // namespace wibblet
