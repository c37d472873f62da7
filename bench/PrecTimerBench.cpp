// Lateness of a 20 ms one-shot precise timer: the time from the due time to the moment the
// handler runs on the main thread (through the waiter thread and the Qt event loop).
// Reported as median and 99th percentile in microseconds.
#include "platform/SystemClock.h"
#include "ports/PrecTimer.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>
#include <vector>

using namespace fk;

static void BM_PrecTimerLateness20ms(benchmark::State& state)
{
    auto timer = Make<TPrecTimer>(false);
    timer->Periodic = false;
    timer->Interval = 0;
    timer->Time = -200000; // 20 ms
    std::vector<double> lateUs;
    QEventLoop loop;
    u64 due = 0;
    timer->OnTimer = TTimeEvent::Bind(&loop, [&](TObject*, u64) {
        const u64 now = GetSystemTimeAsFileTime();
        lateUs.push_back(double(std::int64_t(now - due)) / 10.0);
        loop.quit();
    });
    for (auto _ : state) {
        due = GetSystemTimeAsFileTime() + 200000;
        timer->SetEnabled(true);
        loop.exec();
    }
    const bench::TSpread late = bench::Spread(lateUs);
    state.counters["median_late_us"] = late.Median;
    state.counters["p99_late_us"] = late.P99;
    state.counters["max_late_us"] = late.Max;
}
BENCHMARK(BM_PrecTimerLateness20ms)->Iterations(300)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return fk::bench::RunWithEventLoop<QCoreApplication>(argc, argv); }
