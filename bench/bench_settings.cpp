// The settings file on the hot paths: a presence broadcast reads the whole
// broadcast list, and every new host's subnet is looked up in it.
#include "BenchProgram.h"

#include "platform/ProfileFile.h"
#include "protocol/Presence.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"

#include <benchmark/benchmark.h>

namespace wibblet::bench {

namespace {

// Subnets behind the benchmarks' cable (10.a.b.0/24, see bench_main.cpp):
// inside the private namespace the broadcasts are really sent, and none can
// reach a real network.
QString Subnet(int i)
{
    return QStringLiteral("10.%1.%2.255").arg(1 + i / 250).arg(i % 250);
}

QByteArray ListedSubnets(int count)
{
    QByteArray ini = "[BSC_CFG]\r\nUSER_NAME=bench\r\n[BRD_CAST]\r\nBRC_CNT="
                     + QByteArray::number(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        ini += "BRC_IP_" + QByteArray::number(i) + '=' + Subnet(i).toLatin1() + "\r\n";
    return ini;
}

void BM_BroadcastToListedSubnets(benchmark::State& state)
{
    BenchProgram p(ListedSubnets(int(state.range(0))));
    Program& program = p.main.program();
    const qint64 before = p.socket.sent;
    for (auto _ : state)
        SendEntry(program);
    const qint64 perBroadcast = (p.socket.sent - before) / qint64(state.iterations());
    if (perBroadcast != state.range(0) + 2)
        state.SkipWithError("a listed subnet was not sent to");
    state.counters["datagrams"] = double(perBroadcast);
    state.counters["per_datagram"] =
        benchmark::Counter(double(state.iterations() * perBroadcast),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BroadcastToListedSubnets)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The list read through the kept file, as a broadcast reads it...
void BM_ReadBrdList(benchmark::State& state)
{
    BenchProgram p(ListedSubnets(int(state.range(0))));
    const Program& program = p.main.program();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadBrdList(program.settings));
}
BENCHMARK(BM_ReadBrdList)->Arg(1000)->Unit(benchmark::kMicrosecond);

// ...and read from the file one key at a time, as it was before the file
// was kept in memory: for comparison.
void BM_ReadBrdListFromFile(benchmark::State& state)
{
    BenchProgram p(ListedSubnets(int(state.range(0))));
    const QString path = p.main.program().settings.path;
    const QString section = QStringLiteral("BRD_CAST");
    for (auto _ : state) {
        QStringList list;
        const int count =
            ProfileFile::Read(path, section, QStringLiteral("BRC_CNT"), QStringLiteral("0"))
                .toInt();
        for (int i = 0; i < count; ++i)
            list << ProfileFile::Read(path, section, QStringLiteral("BRC_IP_") + QString::number(i),
                                      QString());
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_ReadBrdListFromFile)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

// A new host from a subnet the list already has (the last one: the whole
// list is looked through).
void BM_AddBrdListKnownSubnet(benchmark::State& state)
{
    const int count = int(state.range(0));
    BenchProgram p(ListedSubnets(count));
    const Program& program = p.main.program();
    const QString address = Subnet(count - 1).replace(QStringLiteral(".255"), QStringLiteral(".7"));
    for (auto _ : state)
        AddBrdList(program.settings, program.ownBroadcast, address);
    if (ReadBrdList(program.settings).size() != count)
        state.SkipWithError("the list grew");
}
BENCHMARK(BM_AddBrdListKnownSubnet)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

} // namespace wibblet::bench
