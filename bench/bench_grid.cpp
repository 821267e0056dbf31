// Repaint and page scrolling of the design grid for the largest design the model
// holds (3520 warp ends x 5000 picks) in a 1920 x 1080 viewport. Besides the
// time, each case reports frame_ratio: the time of one frame divided by a 60 Hz
// frame (16.7 ms). The goal is at most 0.5.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/session.h"
#include "import/load.h"
#include "ui/grids.h"
#include "ui/gridview.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrameMs = 1000.0 / 60.0;

// Says nothing and picks the big design in the open dialog.
class QuietUI : public wp::UserInterface {
public:
    wp::Answer messageBox(wp::BoxKind, const std::string& text, wp::Buttons) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return wp::Answer::No;
    }
    void setStatus(const std::string&) override {}
    void showPick(int) override {}
    void processEvents() override {}
    std::optional<std::string> chooseFile(const std::string&) override { return WP_BIG_DESIGN; }
};

struct Fixture {
    Fixture() {
        std::ofstream(dir.filePath("lanset.ini").toStdString())
            << "[WeavePilot]\ncontrollerArrangement=3520\n";
        session = std::make_unique<wp::Session>(ui, dir.filePath("lanset.ini").toStdString());
        session->loadSettings(false);
        wp::DesignLoader loader(*session);
        loader.resetController = false;
        if (!loader.openCommand(wp::FileType::Native) || !session->design().designReady)
            std::fprintf(stderr, "cannot load %s\n", WP_BIG_DESIGN);
        cells = std::make_unique<wp::ui::DesignCells>(*session);
        grid = std::make_unique<wp::ui::GridView>();
        grid->setFrameShape(QFrame::NoFrame);
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setSource(cells.get());
        const auto& h = session->design().header;
        grid->setDimensions(h.warps() + 2, h.wefts() + 1);
        grid->setFixedColumns({12, 12});
        grid->setFixedRows({12});
        grid->resize(1920, 1080);
        target = QImage(1920, 1080, QImage::Format_RGB32);
    }

    // One frame as the window system asks for it: the whole viewport painted.
    void frame() {
        grid->viewport()->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }

    QTemporaryDir dir;
    QuietUI ui;
    std::unique_ptr<wp::Session> session;
    std::unique_ptr<wp::ui::DesignCells> cells;
    std::unique_ptr<wp::ui::GridView> grid;
    QImage target;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void report(benchmark::State& state, double totalMs) {
    state.counters["frame_ratio"] =
        benchmark::Counter(totalMs / kFrameMs, benchmark::Counter::kAvgIterations);
}

void BM_FullRepaint(benchmark::State& state) {
    Fixture& f = fixture();
    const int size = static_cast<int>(state.range(0));
    f.grid->setCellSize(size, size);
    f.grid->setLeftColumn(f.grid->maxLeftColumn());
    f.grid->setTopRow(f.grid->maxTopRow() / 2);
    double totalMs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        f.frame();
        totalMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    report(state, totalMs);
    state.counters["cells"] = static_cast<double>(f.grid->visibleColumnCount()) *
                              static_cast<double>(f.grid->visibleRowCount());
}

void BM_ScrollPage(benchmark::State& state) {
    Fixture& f = fixture();
    const int size = static_cast<int>(state.range(0));
    f.grid->setCellSize(size, size);
    f.grid->setLeftColumn(f.grid->maxLeftColumn());
    f.grid->setTopRow(f.grid->fixedRowCount());
    double totalMs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        // A page down, wrapping at the end of the design.
        const int page = f.grid->visibleRowCount();
        const int next = f.grid->topRow() + page;
        f.grid->setTopRow(next > f.grid->maxTopRow() ? f.grid->fixedRowCount() : next);
        f.frame();
        totalMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    report(state, totalMs);
}

BENCHMARK(BM_FullRepaint)->Arg(1)->Arg(6)->Arg(12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollPage)->Arg(1)->Arg(6)->Arg(12)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Painting needs no screen.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
