// The examples of the new formats woven on the controller simulator: every
// hook (JX3) and every shaft (OLM) the loom lifts is the design's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/run.h"
#include "app/session.h"
#include "examples/exampledesigns.h"
#include "import/load.h"
#include "sim/loomsim.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct WeaveFormats : ::testing::Test {
    test::FakeUI ui;
    fs::path dir = fs::temp_directory_path() / ("wp_weave_formats_" + std::to_string(::getpid()));
    std::unique_ptr<sim::LoomSim> loom;
    std::thread serving;
    std::unique_ptr<Session> s;
    std::unique_ptr<WeavingRun> run;
    std::vector<int> woven;

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override {
        run.reset();
        s.reset();
        if (loom) {
            loom->requestStop();
            serving.join();
        }
        fs::remove_all(dir);
    }
    // The simulator on a pseudo-terminal and a session whose COM1 is it.
    void connect(const std::string& settings, sim::LoomSimOptions o) {
        o.weaveDelay = 2ms;
        o.readyDelay = 2ms;
        loom = std::make_unique<sim::LoomSim>(std::move(o));
        ASSERT_TRUE(loom->open().ok);
        serving = std::thread([this] { loom->run(); });
        std::ofstream(dir / "lanset.ini")
            << settings << "\n[Ports]\nCOM1=" << loom->devicePath() << "\n";
        s = std::make_unique<Session>(ui, (dir / "lanset.ini").string());
        s->loadSettings(true);
        run = std::make_unique<WeavingRun>(*s);
        run->onPickWoven = [this](int p) {
            woven.push_back(p);
            if (p == s->window().panel().endWeft) run->StopButtonClick();
        };
    }
    void weave(const std::string& example, FileType type, int from, int to) {
        ui.fileToChoose = std::string(WP_SOURCE_DIR) + "/examples/" + example;
        DesignLoader loader(*s);
        ASSERT_TRUE(loader.openCommand(type)) << example;
        ASSERT_TRUE(s->design().designReady) << example;
        s->window().setStartWeft(from);
        s->window().setEndWeft(to);
        s->window().setNextWeft(from);
        run->StartButtonClick();
        ASSERT_EQ(static_cast<int>(woven.size()), to - from + 1) << example;
    }
};

// Hooks a pick of a design on one module lifts: warp end e on hook e.
std::set<int> hooksOf(const DesignModel& d, int pick) {
    std::set<int> hooks;
    for (int e = 1; e <= d.header.warps(); ++e)
        if (d.liftAt(PickNo{pick}, e)) hooks.insert(e);
    return hooks;
}

TEST_F(WeaveFormats, JacquardLoomWeavesWifDrawdownsAndImportFiles) {
    sim::LoomSimOptions o;
    o.shuffle = true;
    connect("", o);
    weave("twill4.wif", FileType::Wif, 1, 12);
    const WifDraft w = examples::twill4Wif();
    const auto record = loom->wovenPicks();
    ASSERT_EQ(record.size(), 12u);
    for (int p = 1; p <= 12; ++p) {
        // The shafts pick p raises, through its treadle's tie-up.
        std::set<int> up;
        for (int t : w.treadling(p))
            for (int sh : w.tieUp(t)) up.insert(sh);
        std::set<int> want;
        for (int e = 1; e <= w.warps; ++e)
            if (up.count(w.threading(e)[0])) want.insert(e);
        EXPECT_EQ(std::set<int>(record[static_cast<size_t>(p - 1)].lifted.begin(),
                                record[static_cast<size_t>(p - 1)].lifted.end()),
                  want)
            << "pick " << p;
    }
    woven.clear();
    weave("motif.imp", FileType::Imp, 5, 9);
    const auto more = loom->wovenPicks();
    ASSERT_EQ(more.size(), 17u);
    const ImpDesign imp = examples::motifImp();
    for (int k = 0; k < 5; ++k) {
        std::set<int> want;
        for (int e = 1; e <= imp.warps; ++e)
            if (imp.lifted(5 + k, e)) want.insert(e);
        EXPECT_EQ(std::set<int>(more[static_cast<size_t>(12 + k)].lifted.begin(),
                                more[static_cast<size_t>(12 + k)].lifted.end()),
                  want);
        EXPECT_EQ(want, hooksOf(s->design(), 5 + k));
    }
}

TEST_F(WeaveFormats, ShaftLoomWeavesTheTreadlesOfWifDrafts) {
    for (const auto& [example, w] : {std::pair{"twill4.wif", examples::twill4Wif()},
                                     std::pair{"liftplan8.wif", examples::liftplan8Wif()}}) {
        sim::LoomSimOptions o;
        o.loom = sim::LoomType::Olm;
        o.olmDraft = {sim::OlmDraft::Kind::Countermarche608, w.shafts};
        connect("[Mirlo]\nLoomType=OLM\n", o);
        weave(example, FileType::Wif, 1, 14);
        const auto store = loom->olmStore();
        ASSERT_EQ(store.size(), 14u) << example;
        for (int p = 1; p <= 14; ++p) {
            std::vector<int> up;
            if (w.liftPlan) {
                up = w.liftPlan(p);
            } else {
                std::set<int> shafts;
                for (int t : w.treadling(p))
                    for (int sh : w.tieUp(t)) shafts.insert(sh);
                up.assign(shafts.begin(), shafts.end());
            }
            EXPECT_EQ(store[static_cast<size_t>(p - 1)].second.lifted, up)
                << example << " pick " << p;
        }
        run.reset();
        s.reset();
        loom->requestStop();
        serving.join();
        loom.reset();
        woven.clear();
    }
}

}  // namespace
}  // namespace wp
