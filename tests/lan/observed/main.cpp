// The program as shipped, with message boxes that do not block and an
// observer on standard input, for the tests that run it on a namespaced LAN.
#include "ObservedBoxes.h"
#include "Observer.h"

#include "app/Startup.h"

int main(int argc, char** argv)
{
    wibblet::test::ObservedBoxes boxes;
    return wibblet::RunProgram(
        argc, argv, boxes,
        [&boxes](wibblet::frmMain& main, wibblet::TrayIcon& tray) -> std::unique_ptr<QObject> {
            return std::make_unique<wibblet::test::Observer>(main, tray, boxes);
        });
}
