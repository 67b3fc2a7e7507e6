#include "protocol/Program.h"

#include "platform/MessageBoxes.h"
#include "platform/SocketErrors.h"
#include "platform/UdpSocket.h"
#include "protocol/CommandCodes.h"
#include "settings/BroadcastList.h"

namespace wibblet {

namespace {

// Closing and binding again clears an already-bound socket at the first try;
// the bound keeps a socket that says "already bound" for ever from hanging us.
constexpr int kMaxRebinds = 3;

} // namespace

void SetPort(Program& program)
{
    if (Settings::IsOn(program.settings.IP_MSG)) {
        program.port = 2425;
        program.messageCode = QString::fromLatin1(mdlConst::MSG_IPMSG);
    } else {
        program.port = 1001;
        program.messageCode = QString::fromLatin1(mdlConst::MSG_NORMAL);
    }

    int error = program.socket.Bind(program.port);
    for (int tries = 0; error == SocketErrors::InvalidOperationForState && tries < kMaxRebinds;
         ++tries) {
        program.socket.Close();
        error = program.socket.Bind(program.port);
    }
    if (error != 0) {
        program.boxes.Show(
            {QStringLiteral("WinSock コントロールにて、ポートのバインドに失敗しました。\r\n"
                            "Wibblet を再起動してください。"),
             QString(), BoxButtons::Ok, BoxIcon::Critical});
    }
}

void InitBrdAddr(Program& program)
{
    program.ownBroadcast = MakeBrdAddr(program.socket.LocalIP());
}

} // namespace wibblet
