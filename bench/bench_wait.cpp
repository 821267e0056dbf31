// CPU spent by a driver's wait for the controller while nothing arrives: the
// wait must sleep on the port, not spin. Reported as cpu_share = CPU time / wall
// time of the wait (goal: under 0.01, one per cent of a core).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>

#include "loom/jx3/jx3.h"
#include "tests/support/ptypeer.h"

namespace {

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void BM_SilentWait(benchmark::State& state) {
    wp::SilentUserInterface ui;
    wp::RunFlags flags(ui);
    wp::LogStream log;
    wp::DesignModel design;
    wp::test::PtyPeer peer;
    const std::string path = peer.slavePath();
    wp::Tjx3 drv(wp::LinkEnv{
        design, flags, log,
        [path] { return wp::makePosixSerialPort([path](const std::string&) { return path; }); }});
    if (!drv.OpenPort(1, false)) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    const int ms = static_cast<int>(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(drv.ReadResponse(ms));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += cpuSeconds() - c0;
    }
    state.counters["cpu_share"] = cpu / wall;
}
BENCHMARK(BM_SilentWait)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
