// The whole receive path of a running program: one datagram from a peer on
// the virtual LAN reaches the dispatcher, the member list, the settings file
// and the message windows, and the event loop runs until everything it
// caused has happened.
//
// Input: the first byte sets the scene (bit 0 absence mode, bit 1 honour
// sealed messages, bits 2-3 which peer sends, bit 4 emulation message code);
// the rest is the datagram's bytes.
#include "kit/VirtualLan.h"
#include "kit/WholeProgram.h"
#include "platform/gui/OffscreenWarnings.h"
#include "protocol/CommandCodes.h"

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

using namespace wibblet;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void RunEvents()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

struct PeerHost {
    const char* name;
    const char* ip;
};

// A member already listed, a stranger on the own subnet, one on another
// subnet (it goes to the broadcast list), one far away.
const PeerHost kPeers[] = {
    {"ALICE", "10.0.0.5"},
    {"PEER", "10.0.0.9"},
    {"FAR", "10.0.1.9"},
    {"OUT", "192.168.7.20"},
};

const char kSettings[] = "[DEFAULT]\r\nDEF_TITLE=t\r\nDEF_OK=ok\r\n"
                         "[ERROR]\r\nERR_CNT=1\r\nERR_EXE_0=A.EXE\r\nERR_EXE_1=B.EXE\r\n"
                         "[BSC_CFG]\r\nSECRET_OK=1\r\nIP_MSG=\r\nUSER_NAME=fuzz\r\n"
                         "[BRD_CAST]\r\nBRC_CNT=1\r\nBRC_IP_0=10.0.3.255\r\n";

// One program on its own LAN with its peers, started from a settings file.
struct Scene {
    QTemporaryDir dir;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("ME"), QStringLiteral("10.0.0.1"));
    std::unique_ptr<test::WholeProgram> me;
    std::vector<std::unique_ptr<VirtualSocket>> peers;

    Scene()
    {
        Check(dir.isValid());
        me = std::make_unique<test::WholeProgram>(*socket, dir.path());
        Check(QFileInfo::exists(me->programFile));
        Check(me->Load(QByteArray(kSettings, sizeof kSettings - 1)));
        for (const PeerHost& p : kPeers) {
            peers.push_back(
                lan.CreateSocket(QString::fromLatin1(p.name), QString::fromLatin1(p.ip)));
            Check(peers.back()->Bind(1001) == 0);
        }
        // The first peer announces itself, so the list is not empty.
        static const char entry[] = "1:100:alice:ALICE:1:alice\0\0\0\0";
        SendFrom(0, QByteArray(entry, sizeof entry - 1));
        RunEvents();
        Check(me->main.members().chkMember(QStringLiteral("ALICE")) >= 1);
    }

    ~Scene()
    {
        me.reset();
        RunEvents();
    }

    void SendFrom(int peer, const QByteArray& bytes)
    {
        VirtualSocket& from = *peers[size_t(peer)];
        from.SetRemoteHost(QStringLiteral("10.0.0.1"));
        from.SetRemotePort(1001);
        from.SendBytes(bytes);
    }

    void SetAbsence(bool on)
    {
        if (me->main.AbsenceMode() != on)
            me->main.mnuNonPopup_Click(); // the scripted boxes answer OK
        Check(me->main.AbsenceMode() == on);
    }
};

// Received windows stay open until someone reads them; a fresh program every
// so many inputs keeps them (and the recorded boxes) from piling up.
constexpr int kInputsPerScene = 50;

Scene* scene = nullptr;
int inputsOnScene = 0;

} // namespace

// Outside extern "C": the resource initializer has C++ linkage.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8");
    QuietOffscreenWarnings();
    InitResources();
    static int argc = 1;
    static char name[] = "fuzz_receive";
    static char* argv[] = {name, nullptr};
    // Neither the application nor the last scene is torn down at exit:
    // Qt's own statics are gone by then. Both stay reachable, so no leak.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (!scene || inputsOnScene == kInputsPerScene) {
        delete scene;
        scene = new Scene;
        inputsOnScene = 0;
    }
    ++inputsOnScene;

    const uint8_t setup = data[0];
    Scene& s = *scene;
    s.SetAbsence(setup & 1);
    s.me->main.program().settings.SECRET_OK = (setup & 2) ? QStringLiteral("1") : QString();
    s.me->main.program().messageCode =
        QString::fromLatin1((setup & 16) ? mdlConst::MSG_IPMSG : mdlConst::MSG_NORMAL);

    const qsizetype boxesBefore = s.me->boxes.shown.size();
    s.SendFrom((setup >> 2) & 3,
               QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    RunEvents();

    // Whatever came in, the program runs on: nothing ended it, at most one
    // error box per datagram, and its slots stay consistent.
    Check(s.me->ended == 0);
    Check(s.me->boxes.shown.size() - boxesBefore <= 1);
    Check(s.me->main.popups().PopCl().size() <= s.me->main.popups().NumPop() + 1);
    return 0;
}
