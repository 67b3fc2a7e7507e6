// A burst of messages while away: every message is acknowledged twice and
// held, as its texts, until the user returns.
#include "BenchProgram.h"

#include "platform/Cp932.h"
#include "protocol/MessageBody.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <chrono>

namespace wibblet::bench {

namespace {

// Resident memory of the process, in bytes.
double Resident()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) : 0;
}

double HeapInUse()
{
    return double(::mallinfo2().uordblks);
}

void BM_MessageBurstWhileAway(benchmark::State& state)
{
    const int messages = int(state.range(0));
    const QString text = QStringLiteral("会議は 15 時からです。資料は共有フォルダにあります。");
    const QString body = WriteBody(text, QStringLiteral("連絡"), QStringLiteral("確認"), 0, false,
                                   QString(), QString());
    double seconds = 0;
    double resident = 0;
    double heap = 0;
    for (auto _ : state) {
        BenchProgram p;
        p.main.mnuNonPopup_Click();
        if (!p.main.AbsenceMode()) {
            state.SkipWithError("absence mode did not come on");
            return;
        }
        // One message first, so that what is set up once per process is not
        // counted per message.
        p.socket.Inject(Cp932::Encode(QStringLiteral("1:1:taro:PEER:20:") + body),
                        QStringLiteral("10.98.0.9"));
        QCoreApplication::processEvents();
        QList<QByteArray> datagrams;
        for (int i = 0; i < messages; ++i)
            datagrams << Cp932::Encode(QStringLiteral("1:%1:taro:PEER:20:").arg(100 + i) + body);
        const qint64 sentBefore = p.socket.sent;
        const double residentBefore = Resident();
        const double heapBefore = HeapInUse();
        const auto start = std::chrono::steady_clock::now();
        for (const QByteArray& datagram : std::as_const(datagrams))
            p.socket.Inject(datagram, QStringLiteral("10.98.0.9"));
        const auto end = std::chrono::steady_clock::now();
        seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        resident = Resident() - residentBefore;
        heap = HeapInUse() - heapBefore;

        const qsizetype held = p.main.popups().Waiting();
        if (p.socket.sent - sentBefore != 2 * messages || held != messages + 1
            || !p.main.flasher().NonPopMsg())
            state.SkipWithError("a receipt is missing or a message is not held");
        state.counters["receipts"] = double(p.socket.sent - sentBefore);
        state.counters["held_messages"] = double(held);
    }
    state.counters["ms_per_message"] = seconds * 1000 / messages;
    state.counters["KiB_resident_per_message"] = resident / 1024 / messages;
    state.counters["KiB_heap_per_message"] = heap / 1024 / messages;
}
BENCHMARK(BM_MessageBurstWhileAway)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

} // namespace wibblet::bench
