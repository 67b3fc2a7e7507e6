// An entry storm: every host on a large LAN announcing itself while the
// member list already holds many rows. Each entry is parsed, looked up,
// listed if new, and answered twice.
#include "BenchProgram.h"

#include "protocol/MemberTable.h"
#include "protocol/Program.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <random>

namespace wibblet::bench {

namespace {

double ThreadSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QString RandomHost(std::mt19937& random)
{
    return QStringLiteral("h%1").arg(random(), 8, 16, QLatin1Char('0'));
}

QString SenderAddress(std::mt19937& random)
{
    return QStringLiteral("10.98.0.%1").arg(2 + random() % 250);
}

QByteArray EntryFrom(const QString& host, qint64 packetNo)
{
    return "1:" + QByteArray::number(packetNo) + ":user:" + host.toLatin1() + ":1:nick"
           + QByteArray(4, '\0');
}

// Fills the list as answers would, without sending anything.
QStringList Fill(BenchProgram& p, int rows, std::mt19937& random)
{
    QStringList hosts;
    MemberTable& members = p.main.members();
    Program& program = p.main.program();
    while (members.Count() < rows) {
        const QString host = RandomHost(random);
        if (members.chkMember(host) >= 1)
            continue;
        members.Add(host);
        program.senderName = host;
        program.senderAddress = SenderAddress(random);
        AddMember(program, members, host);
        hosts << host;
    }
    QCoreApplication::processEvents();
    return hosts;
}

// Entries come from addresses that have sent more than entries (a presence
// notice each): the socket rate-limits answers to the others, and these
// benchmarks time both answers really sent.
void HearFromEverySender(BenchProgram& p)
{
    for (int i = 2; i < 252; ++i)
        p.socket.Inject("1:0:user:talker:4:" + QByteArray(4, '\0'),
                        QStringLiteral("10.98.0.%1").arg(i));
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int rows : {100, 1000, 10000, 50000})
        b->Arg(rows);
}

void BM_EntryFromListedHost(benchmark::State& state)
{
    BenchProgram p;
    std::mt19937 random(1);
    const QStringList hosts = Fill(p, int(state.range(0)), random);
    HearFromEverySender(p);
    const qint64 sentBefore = p.socket.sent;
    qint64 packetNo = 0;
    for (auto _ : state) {
        const QString& host = hosts[int(random() % hosts.size())];
        p.socket.Inject(EntryFrom(host, ++packetNo), QStringLiteral("10.98.0.9"));
    }
    if (p.main.members().Count() != state.range(0) || p.socket.sent - sentBefore != 2 * packetNo)
        state.SkipWithError("an entry was not answered twice, or the list changed");
    state.counters["rows"] = double(p.main.members().Count());
}
BENCHMARK(BM_EntryFromListedHost)->Apply(Sizes);

// The host is new: a row is added (sorted into place) and filled. The row is
// taken out again, untimed, so the list keeps its size. Timed by the
// thread's CPU clock: on a shared machine the wall clock also counts the
// time other processes had the CPU.
void BM_EntryFromNewHost(benchmark::State& state)
{
    BenchProgram p;
    std::mt19937 random(2);
    Fill(p, int(state.range(0)), random);
    HearFromEverySender(p);
    MemberTable& members = p.main.members();
    qint64 packetNo = 0;
    const qint64 sentBefore = p.socket.sent;
    for (auto _ : state) {
        QString host = RandomHost(random);
        while (members.chkMember(host) >= 1)
            host = RandomHost(random);
        const QByteArray entry = EntryFrom(host, ++packetNo);
        const QString from = SenderAddress(random);
        const double start = ThreadSeconds();
        p.socket.Inject(entry, from);
        state.SetIterationTime(ThreadSeconds() - start);
        members.Remove(members.chkMember(host));
    }
    if (members.Count() != state.range(0) || p.socket.sent - sentBefore != 2 * packetNo)
        state.SkipWithError("an entry was not answered twice, or the list changed");
    state.counters["rows"] = double(members.Count());
}
BENCHMARK(BM_EntryFromNewHost)->Apply(Sizes)->UseManualTime();

// A storm of answers as the socket hands them over: slices of
// PosixUdpSocket::kSliceCount datagrams, the event loop running between
// slices, where a shown list lays itself out and paints (into memory: the
// offscreen platform). Hosts answer in the order of their names, as the
// storm of bench/whole/storm.py does, or in random order. CPU time of the
// thread per answer, and of the longest turn (a slice and the event loop
// after it): the main window hidden against shown.
void BM_AnswerStorm(benchmark::State& state)
{
    const int hosts = int(state.range(0));
    const bool shown = state.range(1) != 0;
    const bool randomOrder = state.range(2) != 0;
    QList<QByteArray> answers;
    for (int i = 0; i < hosts; ++i)
        answers << QStringLiteral("1:%1:user%2:peer%2:3:nick%2")
                           .arg(i + 1)
                           .arg(i, 5, 10, QLatin1Char('0'))
                           .toLatin1()
                       + '\0';
    if (randomOrder)
        std::shuffle(answers.begin(), answers.end(), std::mt19937(5));
    double seconds = 0;
    double worstTurn = 0;
    for (auto _ : state) {
        BenchProgram p;
        if (shown)
            p.main.show();
        QCoreApplication::processEvents();
        const double start = ThreadSeconds();
        for (int from = 0; from < hosts; from += PosixUdpSocket::kSliceCount) {
            const double turn = ThreadSeconds();
            const int to = std::min(hosts, from + PosixUdpSocket::kSliceCount);
            for (int i = from; i < to; ++i)
                p.socket.Inject(answers[i], QStringLiteral("10.98.0.9"));
            QCoreApplication::processEvents();
            worstTurn = std::max(worstTurn, ThreadSeconds() - turn);
        }
        seconds = ThreadSeconds() - start;
        state.SetIterationTime(seconds);
        if (p.main.members().Count() != hosts)
            state.SkipWithError("a host is not listed");
    }
    state.counters["us_per_answer"] = seconds * 1e6 / hosts;
    state.counters["worst_turn_ms"] = worstTurn * 1e3;
    state.SetLabel(QStringLiteral("%1, %2")
                       .arg(shown ? "shown" : "hidden", randomOrder ? "random order" : "in order")
                       .toStdString());
}
BENCHMARK(BM_AnswerStorm)
    ->ArgsProduct({{1000, 50000}, {0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_ChkMember(benchmark::State& state)
{
    BenchProgram p;
    std::mt19937 random(3);
    const QStringList hosts = Fill(p, int(state.range(0)), random);
    const MemberTable& members = p.main.members();
    const bool hit = state.range(1) != 0;
    QStringList asked = hosts;
    if (!hit) {
        for (QString& host : asked)
            host += QLatin1Char('x');
    }
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(members.chkMember(asked[i]));
        i = (i + 1) % int(asked.size());
    }
    state.SetLabel(hit ? "listed host" : "unknown host");
}
BENCHMARK(BM_ChkMember)->ArgsProduct({{100, 1000, 10000, 50000}, {1, 0}});

// One row in a hundred waits for a receipt, each with its own number.
void BM_ChkPacNo(benchmark::State& state)
{
    BenchProgram p;
    std::mt19937 random(4);
    Fill(p, int(state.range(0)), random);
    MemberTable& members = p.main.members();
    QList<qint32> pending;
    for (int row = 1; row <= members.Count(); row += 100) {
        members.SetText(row, MemberTable::ColStandard, QString::number(1000 + row));
        pending << 1000 + row;
    }
    const bool hit = state.range(1) != 0;
    int i = 0;
    for (auto _ : state) {
        const qint32 number = hit ? pending[i] : -pending[i];
        benchmark::DoNotOptimize(members.chkPacNo(number, MemberTable::ColStandard));
        i = (i + 1) % int(pending.size());
    }
    state.SetLabel(hit ? "pending number" : "unknown number");
}
BENCHMARK(BM_ChkPacNo)->ArgsProduct({{100, 1000, 10000, 50000}, {1, 0}});

} // namespace

} // namespace wibblet::bench
