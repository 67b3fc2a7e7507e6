// The in-process benchmarks run with a QApplication on the offscreen
// platform: the windows are real widgets, nothing is drawn.
#include "BenchProgram.h"
#include "platform/gui/OffscreenWarnings.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>

#include <ifaddrs.h>
#include <net/if.h>

namespace wibblet::bench {

namespace {

bool LoopbackOnly()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool loopbackOnly = true;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if ((it->ifa_flags & IFF_UP) != 0 && (it->ifa_flags & IFF_LOOPBACK) == 0)
            loopbackOnly = false;
    }
    ::freeifaddrs(list);
    return loopbackOnly;
}

bool g_sending = false;

} // namespace

bool RepliesSent()
{
    return g_sending;
}

} // namespace wibblet::bench

namespace {

// In a network namespace of our own (only loopback up), a cable with
// nobody at its far end takes the benchmarks' datagrams: they go through the
// kernel's whole sending path, as to a network card, and the far end (no
// address) drops them. No address resolution on it, as on a switch whose
// hosts are all known. Anywhere else nothing is sent at all.
bool SetUpDummyNetwork()
{
    if (!wibblet::bench::LoopbackOnly())
        return false;
    return std::system("ip link add wbd0 type veth peer name wbd1 && ip link set wbd0 arp off && "
                       "ip addr add 10.98.0.1/24 dev wbd0 && ip link set wbd1 up && "
                       "ip link set wbd0 up && ip route add 10.0.0.0/8 dev wbd0")
           == 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    wibblet::QuietOffscreenWarnings();
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    wibblet::bench::g_sending = SetUpDummyNetwork();
    benchmark::AddCustomContext(
        "datagrams", wibblet::bench::g_sending
                         ? "sent to a dummy interface in a private network namespace"
                         : "counted only, not sent (not in a private network namespace)");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
