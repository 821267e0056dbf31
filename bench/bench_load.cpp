// Loading the largest design (3520 warp ends x 5000 picks) through the common
// load, as a ratio to reading the same file into memory. Goal: at most 3.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "app/session.h"
#include "import/load.h"

namespace {

void BM_LoadBigDesign(benchmark::State& state) {
    wp::SilentUserInterface ui;
    wp::Session s(ui, "/nonexistent/lanset.ini");
    s.design().hw.hookCount = wp::kMaxHooks;
    s.design().hw.moduleCount = wp::kMaxModules;
    wp::DesignLoader loader(s);
    loader.resetController = false;
    double readSeconds = 0, loadSeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        // The plain read: one buffer of the file's size, filled by fread.
        std::FILE* f = std::fopen(WP_BIG_DESIGN, "rb");
        std::fseek(f, 0, SEEK_END);
        std::vector<char> bytes(static_cast<size_t>(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(got);
        auto t1 = std::chrono::steady_clock::now();
        const bool ok = loader.reload(WP_BIG_DESIGN, wp::FileType::Native);
        auto t2 = std::chrono::steady_clock::now();
        if (!ok || s.design().header.warps() != 3520 || s.design().header.wefts() != 5000) {
            state.SkipWithError("the big design did not load");
            return;
        }
        readSeconds += std::chrono::duration<double>(t1 - t0).count();
        loadSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["read_ms"] = 1000 * readSeconds / static_cast<double>(state.iterations());
    state.counters["load_ms"] = 1000 * loadSeconds / static_cast<double>(state.iterations());
    state.counters["load_over_read"] = loadSeconds / readSeconds;
}
BENCHMARK(BM_LoadBigDesign)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
