// A pick on 16 modules against the simulator at the real line speed.
//  - BM_PickOnTheLine: time from a pick's first frame to its last answer, as a
//    ratio to the wire time of those bytes at 19200 baud (goal: at most 1.05).
//  - BM_BuildPick: hook walk and shuffle of a 16-module pick, as a share of that
//    wire time (goal: under 0.001).
//  - BM_IdleWhileWeaving: CPU of the weaving thread while the loom takes 5 s a
//    pick, as a share of one core (goal: under 0.01).
//  - BM_JournalRecord: the position journal's write after a woven pick (before
//    the next pick goes out), as a share of a 1-module pick's wire time (goal:
//    under 0.01). BM_JournalRecordAndFlush adds what makes it survive a crash
//    of the computer, which the run does while the loom weaves.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/journal.h"
#include "app/run.h"
#include "app/session.h"
#include "import/load.h"
#include "import/nativewriter.h"
#include "loom/jx3/jx3.h"
#include "sim/loomsim.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Bytes of one 16-module pick on the line: 16 blocks of 31 bytes and an end
// frame of 3, and 17 answers of 3; 10 bits a byte.
constexpr double kPickBytes = 16 * 31 + 3 + 17 * 3;
constexpr double kWireSeconds = kPickBytes * 10 / 19200;

double threadCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A 16-module loom on the simulator with a full-width design loaded.
struct Rig {
    explicit Rig(wp::sim::LoomSimOptions o) : sim(std::move(o)) {
        sim.open();
        thread = std::thread([this] { sim.run(); });
        dir = fs::temp_directory_path() / ("wp_bench_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::ofstream(dir / "lanset.ini")
            << "[WeavePilot]\ncontrollerArrangement=3520\n[Ports]\nCOM1=" << sim.devicePath()
            << "\n";
        session = std::make_unique<wp::Session>(ui, (dir / "lanset.ini").string());
        session->loadSettings(true);
        run = std::make_unique<wp::WeavingRun>(*session);
        wp::NativeDraft d;
        d.warps = 3520;
        d.wefts = 50;
        d.lifted = [](int p, int e) { return (p * 7 + e * 3) % 5 < 2; };
        wp::saveNativeDraft(d, (dir / "w.dob").string());
        wp::DesignLoader loader(*session);
        ok = loader.reload((dir / "w.dob").string(), wp::FileType::Native) &&
             session->design().designReady;
    }
    ~Rig() {
        run.reset();
        session.reset();
        sim.requestStop();
        thread.join();
        fs::remove_all(dir);
    }
    wp::SilentUserInterface ui;
    wp::sim::LoomSim sim;
    std::thread thread;
    fs::path dir;
    std::unique_ptr<wp::Session> session;
    std::unique_ptr<wp::WeavingRun> run;
    bool ok = false;
};

void BM_PickOnTheLine(benchmark::State& state) {
    wp::sim::LoomSimOptions o;
    o.baudPace = true;
    o.weaveDelay = 1ms;
    Rig rig(o);
    if (!rig.ok) {
        state.SkipWithError("rig did not start");
        return;
    }
    wp::TWeave& drv = *rig.session->driver();
    if (drv.beginWeaving(wp::RunMode::Start) != wp::StartResult::Started) {
        state.SkipWithError("no begin-weaving handshake");
        return;
    }
    double seconds = 0;
    int pick = 1;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const wp::SendResult r = drv.SendPick({pick});
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (r != wp::SendResult::Accepted) {
            state.SkipWithError("pick not acknowledged");
            return;
        }
        state.PauseTiming();
        drv.awaitPick();  // the loom's "woven" report
        pick = pick % 50 + 1;
        state.ResumeTiming();
    }
    state.counters["wire_ms"] = kWireSeconds * 1000;
    state.counters["over_wire"] = seconds / static_cast<double>(state.iterations()) / kWireSeconds;
}
BENCHMARK(BM_PickOnTheLine)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_BuildPick(benchmark::State& state) {
    wp::SilentUserInterface ui;
    wp::RunFlags flags(ui);
    wp::LogStream log;
    wp::DesignModel d;
    d.hw.hookCount = 3520;
    d.hw.moduleCount = 16;
    d.hw.modulesDeep = 2;
    d.header.set(wp::Slot::warps, 3520);
    d.header.set(wp::Slot::wefts, 4);
    d.allocateMatrix();
    for (int x = 0; x < 3520; x += 3) d.setLift(wp::RowNo{1}, x, true);
    wp::Tjx3 drv(wp::LinkEnv{d, flags, log, {}});
    std::array<uint8_t, wp::kMaskBytes> out{};
    for (auto _ : state) {
        drv.buildPick(3, false);
        out = drv.pickBuffer();
        for (int k = 0; k < 16; ++k) wp::shuffleBlock(out.data() + k * wp::kModuleBytes);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["share_of_wire"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWireSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildPick)->Unit(benchmark::kMicrosecond);

void BM_IdleWhileWeaving(benchmark::State& state) {
    wp::sim::LoomSimOptions o;
    o.weaveDelay = 5s;
    Rig rig(o);
    if (!rig.ok) {
        state.SkipWithError("rig did not start");
        return;
    }
    wp::Session& s = *rig.session;
    s.window().setStartWeft(1);
    s.window().setEndWeft(2);
    rig.run->onPickWoven = [&](int p) {
        if (p == 2) rig.run->StopButtonClick();
    };
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = threadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        rig.run->StartButtonClick();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += threadCpuSeconds() - c0;
    }
    state.counters["cpu_share"] = cpu / wall;
}
BENCHMARK(BM_IdleWhileWeaving)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// One block frame of 31 bytes and an end frame of 3, and 2 answers of 3.
constexpr double kOneModuleWireSeconds = (31 + 3 + 2 * 3) * 10.0 / 19200;

void journalBench(benchmark::State& state, bool flush) {
    const fs::path dir =
        fs::temp_directory_path() / ("wp_bench_journal_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    wp::Journal journal(wp::journalPathFor((dir / "lanset.ini").string()));
    wp::JournalEntry e{"/home/weaver/designs/a design of some length.dob",
                       wp::FileType::Native,
                       1,
                       1,
                       5000,
                       false,
                       false,
                       false};
    for (auto _ : state) {
        e.pick = e.pick % 5000 + 1;
        if (!journal.record(e)) {
            state.SkipWithError("journal not written");
            break;
        }
        if (flush) journal.flush();
    }
    state.counters["share_of_1module_wire"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kOneModuleWireSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    fs::remove_all(dir);
}

void BM_JournalRecord(benchmark::State& state) {
    journalBench(state, false);
}
BENCHMARK(BM_JournalRecord)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_JournalRecordAndFlush(benchmark::State& state) {
    journalBench(state, true);
}
BENCHMARK(BM_JournalRecordAndFlush)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
