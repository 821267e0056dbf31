// The float analysis of the largest design the model holds (3520 warp ends x
// 5000 picks), each as a ratio to one pass that writes every byte of the float
// map (a memset of wefts x warps bytes), both timed in the same run. Goal: at
// most 3 for the Analyse button and for placing the cut preview at limit 3.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "app/session.h"
#include "import/load.h"
#include "tools/floatkernels.h"
#include "tools/floats.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Fixture {
    Fixture() : session(ui, "/nonexistent/lanset.ini") {
        session.design().hw.hookCount = wp::kMaxHooks;
        session.design().hw.moduleCount = wp::kMaxModules;
        wp::DesignLoader loader(session);
        loader.resetController = false;
        ok = loader.reload(WP_BIG_DESIGN, wp::FileType::Native) &&
             session.design().header.warps() == 3520 && session.design().header.wefts() == 5000 &&
             wp::openFloatAnalysis(session.design());
        plain.assign(session.design().analysis.floatMap.size(), 0);
    }
    wp::SilentUserInterface ui;
    wp::Session session;
    std::vector<uint8_t> plain;
    bool ok = false;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

double since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// One write of every byte of a map-sized buffer, the measure of the ratios.
double memsetMs(Fixture& f, int value) {
    const auto t0 = Clock::now();
    std::memset(f.plain.data(), value, f.plain.size());
    benchmark::DoNotOptimize(f.plain.data());
    benchmark::ClobberMemory();
    return since(t0);
}

void report(benchmark::State& state, double toolMs, double memsetTotalMs) {
    const double n = static_cast<double>(state.iterations());
    state.counters["tool_ms"] = toolMs / n;
    state.counters["memset_ms"] = memsetTotalMs / n;
    state.counters["ratio"] = toolMs / memsetTotalMs;
}

void BM_Analyse(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) return state.SkipWithError("the big design did not load");
    wp::DesignModel& d = f.session.design();
    // Arg 1: the wide-vector kernels where the processor has them; 0: the
    // cell-by-cell way other processors take.
    wp::floatkernels::setEnabled(state.range(0) == 1);
    state.SetLabel(wp::floatkernels::enabled() ? "wide vectors" : "cell by cell");
    double toolMs = 0, baseMs = 0;
    int i = 0;
    for (auto _ : state) {
        baseMs += memsetMs(f, ++i);
        const auto t0 = Clock::now();
        wp::analyseFloats(d);
        benchmark::DoNotOptimize(d.analysis.floatMap.data());
        toolMs += since(t0);
    }
    report(state, toolMs, baseMs);
    state.counters["mxweft"] = std::stod(wp::longestFloatText(d.analysis.weftHistogram));
    wp::floatkernels::setEnabled(true);
}
BENCHMARK(BM_Analyse)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_CutPreviewPlacement(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) return state.SkipWithError("the big design did not load");
    wp::DesignModel& d = f.session.design();
    wp::analyseFloats(d);
    const wp::FloatLine line = state.range(0) == 0 ? wp::FloatLine::Picks : wp::FloatLine::WarpEnds;
    wp::showFloats(d, line, 3);
    const wp::CutDraw draw = wp::seededDraw(1);
    double toolMs = 0, baseMs = 0;
    int i = 0;
    for (auto _ : state) {
        baseMs += memsetMs(f, ++i);
        const auto t0 = Clock::now();
        wp::placeCutMarks(d, draw);
        benchmark::DoNotOptimize(d.analysis.floatMap.data());
        toolMs += since(t0);
        // Back to the marked runs for the next round, outside the measure.
        wp::removeCutMarks(d);
    }
    report(state, toolMs, baseMs);
}
BENCHMARK(BM_CutPreviewPlacement)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

namespace {

// Each pass alone: direction (0 picks, 1 warp ends) and kind (0 count, 1 count
// and mark, 2 mark).
void BM_Pass(benchmark::State& state) {
    Fixture& f = fixture();
    wp::DesignModel& d = f.session.design();
    const auto line = state.range(0) == 0 ? wp::FloatLine::Picks : wp::FloatLine::WarpEnds;
    const auto kind = static_cast<wp::FloatPass>(state.range(1));
    for (auto _ : state) {
        wp::runFloatPass(d, line, kind);
        benchmark::DoNotOptimize(d.analysis.floatMap.data());
    }
}
BENCHMARK(BM_Pass)->Args({0, 0})->Args({0, 1})->Args({0, 2})->Args({1, 0})->Args({1, 2})->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
