// The command-line programs as a support person uses them: the simulator in
// one process, weavepilot-cli in another, talking over a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <memory>

#include "app/journal.h"
#include "app/session.h"
#include "import/load.h"
#include "tests/support/fakeui.h"

namespace wp {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Output {
    int status = -1;
    std::string out;
};

// Runs a shell command line, returning its exit status and standard output.
Output run(const std::string& command) {
    Output o;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) return o;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
    const int st = ::pclose(p);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

// The picks weavepilot-cli reported woven ("pick N" lines), in order.
std::vector<int> reportedPicks(const std::string& out) {
    std::vector<int> picks;
    for (const std::string& l : lines(out))
        if (l.rfind("pick ", 0) == 0) picks.push_back(std::stoi(l.substr(5)));
    return picks;
}

// What the simulator recorded for lines starting with `kind` ("pick" or
// "store"): the text after the colon, in order.
std::vector<std::string> recorded(const fs::path& record, const std::string& kind) {
    std::vector<std::string> out;
    std::ifstream in(record);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(kind + " ", 0) != 0) continue;
        const size_t colon = l.find(':');
        out.push_back(colon + 1 < l.size() ? l.substr(colon + 2) : "");
    }
    return out;
}

// Hooks a JX3 loom of one module row lifts for a pick: warp end e on hook e.
std::string hooksOf(const DesignModel& d, int pick) {
    std::string hooks;
    for (int e = 1; e <= d.header.warps(); ++e)
        if (d.liftAt(PickNo{pick}, e)) hooks += (hooks.empty() ? "" : ",") + std::to_string(e);
    return hooks;
}

// Shafts a countermarche pick raises: the tie-up of its first treadle.
std::string shaftsOf(const DesignModel& d, int pick) {
    const RowNo row = d.rowOfPick(PickNo{pick});
    std::string shafts;
    for (int t = 0; t < d.header.treadles(); ++t) {
        if (!d.treadlingBit(t, row)) continue;
        for (int sh = 0; sh < d.header.shafts(); ++sh)
            if (d.tieUpBit(t, sh)) shafts += (shafts.empty() ? "" : ",") + std::to_string(sh + 1);
        break;
    }
    return "lift=" + shafts;
}

std::string lift(const std::string& olmRecordLine) {
    const size_t at = olmRecordLine.find("lift=");
    return at == std::string::npos ? olmRecordLine : olmRecordLine.substr(at);
}

// Polls cond until it holds or the limit passes.
template <class Cond>
bool until(Cond cond, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct Cli : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("wp_cli_" + std::to_string(::getpid()));
    pid_t sim = -1;
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override {
        if (sim > 0) {
            ::kill(sim, SIGTERM);
            ::waitpid(sim, nullptr, 0);
        }
        fs::remove_all(dir);
    }
    // Starts the simulator with a symlink to its device, waits for the link.
    void startSim(const std::vector<std::string>& extra) {
        sim = ::fork();
        ASSERT_GE(sim, 0);
        if (sim == 0) {
            std::vector<std::string> args = {WP_LOOMSIM, "--link", (dir / "loom").string(),
                                             "--record", (dir / "record.txt").string()};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            std::freopen("/dev/null", "w", stdout);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!fs::exists(dir / "loom") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(dir / "loom"));
    }
    std::string cli(const std::string& args) {
        return std::string(WP_CLI) + " " + args + " --settings " + (dir / "lanset.ini").string();
    }
    // weavepilot-cli weave with a time limit, so that a hang fails the test
    // (exit 124) instead of stalling it; stderr goes to err.txt.
    Output weave(const std::string& args, int seconds = 30) {
        return run("timeout -s INT " + std::to_string(seconds) + " " + cli("weave " + args) +
                   " 2>" + (dir / "err.txt").string());
    }
    std::string err() {
        std::ifstream in(dir / "err.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // weavepilot-cli weave in the background (its output in out.txt and err.txt),
    // for a test that interrupts it.
    pid_t startWeave(const std::string& args) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string line = "exec " + cli("weave " + args) + " >" +
                                     (dir / "out.txt").string() + " 2>" +
                                     (dir / "err.txt").string();
            ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }
    // The exit status of a background weave, -1 when it has not ended in time.
    static int exitOf(pid_t pid, std::chrono::seconds limit = 30s) {
        int st = 0;
        if (!until([&] { return ::waitpid(pid, &st, WNOHANG) == pid; }, limit)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &st, 0);
            return -1;
        }
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::string out() {
        std::ifstream in(dir / "out.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Lines of the record that start with `prefix`.
    size_t recordLines(const std::string& prefix) {
        size_t n = 0;
        std::ifstream in(dir / "record.txt");
        for (std::string l; std::getline(in, l);) n += l.rfind(prefix, 0) == 0;
        return n;
    }
    void settings(const std::string& text) {
        std::ofstream(dir / "lanset.ini")
            << text << "\n[Ports]\nCOM1=" << (dir / "loom").string() << "\n";
    }
    // The design as the CLI reads it, with the test's settings (ports aside).
    std::unique_ptr<Session> loaded(const std::string& design, test::FakeUI& ui) {
        auto s = std::make_unique<Session>(ui, (dir / "lanset.ini").string());
        s->loadSettings(false);
        DesignLoader loader(*s);
        loader.resetController = false;
        EXPECT_TRUE(loader.reload(design, FileType::Native));
        return s;
    }
    // The simulator's record holds, hook for hook, the picks the CLI reported.
    void expectJx3Cloth(const std::string& out, const std::string& design) {
        test::FakeUI ui;
        const auto s = loaded(design, ui);
        const std::vector<int> picks = reportedPicks(out);
        const std::vector<std::string> cloth = recorded(dir / "record.txt", "pick");
        ASSERT_EQ(cloth.size(), picks.size()) << out;
        for (size_t k = 0; k < picks.size(); ++k)
            EXPECT_EQ(cloth[k], hooksOf(s->design(), picks[k])) << "woven pick " << k + 1;
    }
    // The same for a shaft loom, woven directly or stored.
    void expectOlmCloth(const std::string& out, const std::string& design,
                        const std::string& kind) {
        test::FakeUI ui;
        const auto s = loaded(design, ui);
        const std::vector<int> picks = reportedPicks(out);
        const std::vector<std::string> cloth = recorded(dir / "record.txt", kind);
        ASSERT_EQ(cloth.size(), picks.size()) << out;
        for (size_t k = 0; k < picks.size(); ++k)
            EXPECT_EQ(lift(cloth[k]), shaftsOf(s->design(), picks[k])) << kind << " " << k;
    }
};

const std::string kTwill = WP_SOURCE_DIR "/examples/twill8.dob";
const std::string kRosepath = WP_SOURCE_DIR "/examples/rosepath.ctm";

TEST_F(Cli, ConfigPrintsTheHardwareConfiguration) {
    std::ofstream(dir / "lanset.ini") << "[WeavePilot]\ndensityX=1\ndensityY=2\nmodulesDeep=1\n"
                                         "controllerArrangement=220\ncommPort=2\nBlankHeadles=5,9\n"
                                         "[Ports]\nCOM2=/dev/ttyUSB7\n";
    const Output o = run(cli("config"));
    ASSERT_EQ(o.status, 0);
    // Hooks 5 and 9 are blank and count as the dropped hook of their pairs.
    std::string withBlanks = "2,4,5,8,9";
    for (int h = 12; h <= 220; h += 2) withBlanks += "," + std::to_string(h);
    EXPECT_EQ(lines(o.out), (std::vector<std::string>{
                                "LoomType=JX3", "commPort=2", "device=/dev/ttyUSB7",
                                "hookCount=220", "moduleCount=1", "modulesDeep=1", "densityX=1",
                                "densityY=2", "BlankHeadles=5,9", "HookSkipMask=" + withBlanks}));

    std::string skip;
    for (int h = 2; h <= 220; h += 2) skip += (skip.empty() ? "" : ",") + std::to_string(h);
    std::ofstream(dir / "lanset.ini") << "[WeavePilot]\ndensityX=1\ndensityY=2\nmodulesDeep=1\n"
                                         "controllerArrangement=220\n";
    EXPECT_EQ(lines(run(cli("config")).out).back(), "HookSkipMask=" + skip);
}

TEST_F(Cli, WeaveTwentyPicksOnTheSimulator) {
    startSim({"--weave-ms", "5"});
    std::ofstream(dir / "lanset.ini") << "[Ports]\nCOM1=" << (dir / "loom").string() << "\n";
    const std::string design = WP_SOURCE_DIR "/examples/twill8.dob";
    const Output o = run(cli("weave " + design + " --from 1 --to 20"));
    EXPECT_EQ(o.status, 0) << o.out;
    std::vector<std::string> expected;
    for (int p = 1; p <= 20; ++p) expected.push_back("pick " + std::to_string(p));
    expected.push_back("current pick 20");
    EXPECT_EQ(lines(o.out), expected);

    // The record holds the design's rows: twill8 has 48 ends on hooks 1..48.
    test::FakeUI ui;
    Session s(ui, (dir / "none.ini").string());
    DesignLoader loader(s);
    loader.resetController = false;
    ASSERT_TRUE(loader.reload(design, FileType::Native));
    std::ifstream record(dir / "record.txt");
    std::vector<std::string> picks;
    for (std::string l; std::getline(record, l);)
        if (l.rfind("pick ", 0) == 0) picks.push_back(l);
    ASSERT_EQ(picks.size(), 20u);
    for (int p = 1; p <= 20; ++p) {
        std::string hooks;
        for (int e = 1; e <= 48; ++e)
            if (s.design().liftAt(PickNo{p}, e))
                hooks += (hooks.empty() ? "" : ",") + std::to_string(e);
        EXPECT_EQ(picks[static_cast<size_t>(p - 1)], "pick " + std::to_string(p) + ": " + hooks);
    }
}

TEST_F(Cli, InfoAndRenderRefuseWhatTheyCannotRead) {
    std::ofstream(dir / "lanset.ini") << "";
    std::ofstream(dir / "junk.dob") << "not a draft at all";
    Output o = run(cli((dir / "junk.dob").string() + " info 2>&1"));
    EXPECT_NE(o.status, 0);
    o = run(cli("info " + (dir / "junk.dob").string() + " 2>&1"));
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.out.find("Cannot load " + (dir / "junk.dob").string()), std::string::npos) << o.out;
    o = run(
        cli("render " + (dir / "missing.dob").string() + " " + (dir / "x.pbm").string() + " 2>&1"));
    EXPECT_NE(o.status, 0);
    EXPECT_FALSE(fs::exists(dir / "x.pbm"));
}

TEST_F(Cli, EveryCommandExplainsItself) {
    Output o = run(cli("--help"));
    ASSERT_EQ(o.status, 0);
    for (const char* word : {"config", "info", "render", "weave", "--settings", "--type", "--yes"})
        EXPECT_NE(o.out.find(word), std::string::npos) << word << " missing from\n" << o.out;
    EXPECT_EQ(run(std::string(WP_CLI) + " help").out, o.out);
    const std::vector<std::pair<std::string, std::vector<std::string>>> own = {
        {"config", {}},
        {"info", {"FILE"}},
        {"render", {"FILE", "OUT"}},
        {"weave",
         {"FILE", "--from", "--to", "--reverse", "--loop", "--tabby", "--resume", "--direct"}}};
    for (const auto& [command, words] : own) {
        o = run(cli(command + " --help"));
        EXPECT_EQ(o.status, 0) << command;
        EXPECT_NE(o.out.find("Usage:"), std::string::npos) << command;
        for (const auto& w : words)
            EXPECT_NE(o.out.find(w), std::string::npos) << command << ": " << w;
    }
}

TEST_F(Cli, BadOptionsAndValuesAreRefusedWithTheReason) {
    std::ofstream(dir / "lanset.ini") << "";
    const std::string design = WP_SOURCE_DIR "/examples/twill8.dob";
    struct Case {
        std::string args, says;
    };
    const Case cases[] = {
        {"frobnicate", "unknown command 'frobnicate'"},
        {"info " + design + " --bogus", "--bogus"},
        {"info", "FILE is required"},
        {"render " + design, "OUT is required"},
        {"weave " + design + " --from 0", "--from"},
        {"weave " + design + " --to 65536", "--to"},
        {"weave " + design + " --resume x", "--resume"},
        {"info " + design + " --type png", "unknown design type 'png'"},
        {"", "subcommand is required"},
    };
    for (const Case& c : cases) {
        const Output o = run(cli(c.args) + " 2>&1");
        EXPECT_EQ(o.status, 2) << c.args << "\n" << o.out;
        EXPECT_NE(o.out.find(c.says), std::string::npos) << c.args << "\n" << o.out;
        EXPECT_NE(o.out.find("--help"), std::string::npos) << c.args;
    }
    // Shared options stand before or after the command, and the last answer wins.
    EXPECT_EQ(run(std::string(WP_CLI) + " --settings " + (dir / "lanset.ini").string() +
                  " --type DOB info " + design + " --yes --no")
                  .status,
              0);
}

TEST_F(Cli, RangesTheRunCannotFollowAreRefusedBeforeAnythingIsSent) {
    startSim({"--weave-ms", "5"});
    settings("");
    const std::pair<std::string, std::string> cases[] = {
        {"--from 20 --to 10", "Start weft 20 is after End weft 10."},
        {"--from 1 --to 10 --resume 30",
         "Next weft on resume 30 is outside Start weft 1 to End weft 10."},
        {"--from 10 --to 20 --reverse --resume 5",
         "Next weft on resume 5 is outside Start weft 10 to End weft 20."},
        {"--from 20 --to 10 --reverse", "Start weft 20 is after End weft 10."},
    };
    for (const auto& [args, message] : cases) {
        const Output o = weave(kTwill + " " + args, 10);
        EXPECT_EQ(o.status, 1) << args;
        EXPECT_NE(err().find(message), std::string::npos) << args << ": " << err();
        EXPECT_TRUE(reportedPicks(o.out).empty()) << args;
    }
    EXPECT_TRUE(recorded(dir / "record.txt", "pick").empty());
}

TEST_F(Cli, ReverseWeavesTheRangeDownwardsOnBothLooms) {
    startSim({"--weave-ms", "5"});
    settings("");
    Output o = weave(kTwill + " --from 3 --to 12 --reverse");
    EXPECT_EQ(o.status, 0) << err();
    std::vector<int> down;
    for (int p = 12; p >= 3; --p) down.push_back(p);
    EXPECT_EQ(reportedPicks(o.out), down);
    expectJx3Cloth(o.out, kTwill);

    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    startSim({"--weave-ms", "5", "--loom", "olm", "--olm-draft", "608:4"});
    settings("[Mirlo]\nLoomType=OLM");
    o = weave(kRosepath + " --from 3 --to 12 --reverse --direct");
    EXPECT_EQ(o.status, 0) << err();
    EXPECT_EQ(reportedPicks(o.out), down);
    expectOlmCloth(o.out, kRosepath, "pick");
}

TEST_F(Cli, DownloadAndSelfTestOnTheSimulator) {
    startSim({"--modules", "2"});
    settings("");
    // A firmware file whose second record has a wrong checksum: refused, nothing sent.
    std::ofstream(dir / "bad.hex") << ":020000040000FA\r\n:0100000000FE\r\n:00000001FF\r\n";
    Output o =
        run(cli("download " + (dir / "bad.hex").string()) + " 2>" + (dir / "err.txt").string());
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(err().find("line 2: checksum FE, the record needs FF"), std::string::npos) << err();
    EXPECT_NE(err().find("Can't download WP-program"), std::string::npos);
    EXPECT_EQ(o.out, "");

    std::ofstream(dir / "good.hex") << ":020000040000FA\r\n:0100000000FF\r\n:00000001FF\r\n";
    o = run(cli("download " + (dir / "good.hex").string()) + " 2>" + (dir / "err.txt").string());
    EXPECT_EQ(o.status, 0) << err();
    EXPECT_EQ(lines(o.out).back(), "100%");

    o = run(cli("selftest --save " + (dir / "report.txt").string()) + " 2>" +
            (dir / "err.txt").string());
    EXPECT_EQ(o.status, 0) << err();
    const auto out = lines(o.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front(), "row 1: STARTING MASTER TEST");
    // The closing row, then the controller's verdict on a line of its own.
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], "row 16: MASTER AND ALL DRIVER TESTS PASSED");
    EXPECT_EQ(out.back(), "Test OK");
    // A row completed by a number is printed again, changed.
    EXPECT_NE(std::find(out.begin(), out.end(), "row 3: TEMPERATURE"), out.end());
    EXPECT_NE(std::find(out.begin(), out.end(), "row 3: TEMPERATURE 41"), out.end());
    std::ifstream report(dir / "report.txt");
    std::string head;
    std::getline(report, head);
    EXPECT_EQ(head.rfind("JX-3 test dump ", 0), 0u);
}

// Reads a whole file (empty when missing).
std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(Cli, InfoAndRenderReadEveryFormatByTypeOrExtension) {
    const fs::path examples = WP_SOURCE_DIR "/examples";
    fs::copy_file(examples / "expected" / "lanset.ini", dir / "lanset.ini");
    struct Case {
        std::string example, copyAs, type, shown;
    };
    const Case cases[] = {
        {"twill8.dob", "TWILL8.DOB", "", "dob"},
        {"rosepath.ctm", "r.Ctm", "", "dob"},
        {"motif.imp", "MOTIF.IMP", "", "imp"},
        {"pattrix.dw1", "p.Dw1", "", "dw1"},
        {"markers.bmp", "m.BMP", "", "bmp"},
        {"fax.tif", "Fax.Tif", "", "tif"},
        {"fax.tif", "fax.tiff", "", "tif"},
        {"photo.jpg", "PHOTO.JPG", "", "jpg"},
        {"photo.jpg", "photo.jpeg", "", "jpg"},
        {"twill4.wif", "T.WIF", "", "wif"},
        {"liftplan8.wif", "no-extension", "wif", "wif"},
        {"pattrix.dw1", "cad.bin", "DW1", "dw1"},
    };
    for (const Case& c : cases) {
        fs::copy_file(examples / c.example, dir / c.copyAs, fs::copy_options::overwrite_existing);
        const std::string type = c.type.empty() ? "" : " --type " + c.type;
        const Output info = run(cli("info " + (dir / c.copyAs).string() + type + " 2>/dev/null"));
        EXPECT_EQ(info.status, 0) << c.copyAs;
        EXPECT_NE(info.out.find("\ntype=" + c.shown + "\n"), std::string::npos) << c.copyAs << "\n"
                                                                                << info.out;
        // The same rendering as the golden one, whatever the name.
        const fs::path out = dir / (c.copyAs + ".pbm");
        EXPECT_EQ(run(cli("render " + (dir / c.copyAs).string() + " " + out.string() + type +
                          " 2>/dev/null"))
                      .status,
                  0);
        EXPECT_EQ(contents(out), contents(examples / "expected" / (c.example + ".pbm")))
            << c.copyAs;
    }
    // --yes answers the strip question as every other question.
    const Output stripped = run(cli("info " + (examples / "markers.bmp").string() + " --yes 2>&1"));
    EXPECT_NE(stripped.out.find("Strip blank edges ?\n> Yes\n"), std::string::npos) << stripped.out;
    EXPECT_NE(stripped.out.find("\nwarps=440\n"),
              std::string::npos);  // 600 - 2 x 60 = 480, cut to 440
    // A PNG takes the warp and weft colours.
    const Output png =
        run(cli("render " + (examples / "twill4.wif").string() + " " + (dir / "t.PNG").string()));
    EXPECT_EQ(png.status, 0);
    EXPECT_EQ(contents(dir / "t.PNG").substr(1, 3), "PNG");
}

TEST_F(Cli, RenderReplacesOnlyARealFile) {
    std::ofstream(dir / "lanset.ini") << "";
    const std::string design = WP_SOURCE_DIR "/examples/twill8.dob";
    const std::string expected = contents(WP_SOURCE_DIR "/examples/expected/twill8.dob.pbm");
    // A symbolic link: the file it points to is replaced, the link stays.
    fs::create_directories(dir / "real");
    std::ofstream(dir / "real" / "old.pbm") << "old";
    fs::create_symlink("real/old.pbm", dir / "link.pbm");
    ASSERT_EQ(run(cli("render " + design + " " + (dir / "link.pbm").string())).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.pbm"));
    EXPECT_EQ(contents(dir / "real" / "old.pbm"), expected);
    // A folder, a FIFO, a device: refused with the reason, left alone.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const auto& [out, says] : {std::pair{(dir / "real").string(), "is a folder"},
                                    std::pair{(dir / "fifo").string(), "is a FIFO"},
                                    std::pair{std::string("/dev/null"), "is a device"}}) {
        const Output o = run(cli("render " + design + " " + out + " 2>&1"));
        EXPECT_EQ(o.status, 1) << out;
        EXPECT_NE(o.out.find("weavepilot-cli: cannot write " + out), std::string::npos) << o.out;
        EXPECT_NE(o.out.find(says), std::string::npos) << o.out;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_directory(dir / "real"));
    // A design that does not load: its message, status 1, nothing written.
    std::ofstream(dir / "bad.wif") << "[WIF]\n[CONTENTS]\n";
    const Output bad = run(
        cli("render " + (dir / "bad.wif").string() + " " + (dir / "bad.pbm").string() + " 2>&1"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Cannot load " + (dir / "bad.wif").string() +
                           ": the file has no [WEAVING] section."),
              std::string::npos)
        << bad.out;
    EXPECT_FALSE(fs::exists(dir / "bad.pbm"));
}

TEST_F(Cli, StrayBytesAfterAnAnswerAreSkippedAndNoPickIsLost) {
    // Frame 11 is the end of pick 4 (after the load's reset, begin weaving and
    // the pump time-out); 6 is the first block of pick 2.
    for (const std::string fault : {"11:1", "11:2", "11:3", "11:4", "11:5", "11:9", "6:2", "3:1"}) {
        startSim({"--weave-ms", "5", "--garbage", fault});
        settings("");
        const Output o = weave(kTwill + " --from 1 --to 8", 20);
        EXPECT_EQ(o.status, 0) << fault << "\n" << o.out << err();
        std::vector<int> all;
        for (int p = 1; p <= 8; ++p) all.push_back(p);
        EXPECT_EQ(reportedPicks(o.out), all) << fault;
        expectJx3Cloth(o.out, kTwill);
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        sim = -1;
    }
}

TEST_F(Cli, WovenReportInPlaceOfTheLostEndOfPickAnswerCountsThePick) {
    startSim({"--weave-ms", "5", "--drop-answer", "11"});
    settings("");
    const Output o = weave(kTwill + " --from 1 --to 8");
    EXPECT_EQ(o.status, 0) << o.out << err();
    EXPECT_EQ(reportedPicks(o.out).size(), 8u);
    expectJx3Cloth(o.out, kTwill);
}

TEST_F(Cli, LostBlockAnswerEndsTheRunAndResumeWeavesEachPickOnce) {
    startSim({"--weave-ms", "5", "--drop-answer", "8"});  // the block of pick 3
    settings("");
    Output o = weave(kTwill + " --from 1 --to 6");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(err().find("Communication error"), std::string::npos) << err();
    EXPECT_EQ(reportedPicks(o.out), (std::vector<int>{1, 2}));
    expectJx3Cloth(o.out, kTwill);
    const Output again = weave(kTwill + " --from 1 --to 6 --resume 3");
    EXPECT_EQ(again.status, 0) << err();
    expectJx3Cloth(o.out + again.out, kTwill);
    EXPECT_EQ(recordLines("pick "), 6u);
}

TEST_F(Cli, StopWhileAnAnswerIsLateReadsItThenStops) {
    // The end of pick 4 is answered a second late; Ctrl-C comes meanwhile.
    startSim({"--weave-ms", "5", "--late", "11:1000"});
    settings("");
    const pid_t cli = startWeave(kTwill + " --from 1 --to 8");
    ASSERT_TRUE(until([&] { return recordLines("pick ") == 3; }, 20s));
    ::kill(cli, SIGINT);
    EXPECT_EQ(exitOf(cli), 0) << out() << err();
    EXPECT_TRUE(err().empty()) << err();
    expectJx3Cloth(out(), kTwill);
    EXPECT_GE(reportedPicks(out()).size(), 3u);
}

TEST_F(Cli, ShaftLoomStopWhileAStoreAnswerIsLateCountsTheStoredEntry) {
    // Line 10 writes the byte of store entry 4; its "R" comes a second late.
    startSim({"--loom", "olm", "--olm-draft", "608:4", "--late", "10:1000"});
    settings("[Mirlo]\nLoomType=OLM");
    const pid_t cli = startWeave(kRosepath + " --from 1 --to 40");
    const auto entryFourStored = [&] {
        const auto store = recorded(dir / "record.txt", "store");
        return store.size() == 5 && store[4].find("byte=-") == std::string::npos;
    };
    ASSERT_TRUE(until(entryFourStored, 20s));
    ::kill(cli, SIGINT);
    EXPECT_EQ(exitOf(cli), 0) << out() << err();
    EXPECT_EQ(reportedPicks(out()), (std::vector<int>{1, 2, 3, 4, 5}));
    expectOlmCloth(out(), kRosepath, "store");
}

TEST_F(Cli, ShaftLoomLostStoreAnswerIsAskedForAgain) {
    startSim({"--loom", "olm", "--olm-draft", "608:4", "--drop-answer", "6"});
    settings("[Mirlo]\nLoomType=OLM");
    const Output o = weave(kRosepath + " --from 1 --to 6");
    EXPECT_EQ(o.status, 0) << o.out << err();
    EXPECT_EQ(reportedPicks(o.out).size(), 6u);
    expectOlmCloth(o.out, kRosepath, "store");
}

TEST_F(Cli, MissingPortSaysWhichAndOffersNoDownload) {
    std::ofstream(dir / "lanset.ini")
        << "[Ports]\nCOM1=" << (dir / "no-such-port").string() << "\n";
    const Output o = weave(kTwill + " --from 1 --to 5", 10);
    EXPECT_EQ(o.status, 1);
    const std::string text = err();
    EXPECT_NE(text.find("ComPort open failed: " + (dir / "no-such-port").string() +
                        ": No such file or directory. "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Can't open COM"), std::string::npos) << text;
    EXPECT_EQ(text.find("Download software?"), std::string::npos) << text;
}

TEST_F(Cli, ASecondProgramCannotTakeTheLoomsPort) {
    startSim({"--weave-ms", "100"});
    settings("");
    const pid_t first = startWeave(kTwill + " --from 1 --to 40");
    ASSERT_TRUE(until([&] { return recordLines("pick ") >= 1; }, 20s));
    const Output second = run(cli("weave " + kTwill + " --from 1 --to 5") + " 2>&1");
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(
        second.out.find(": Device or resource busy. It is in use by weavepilot-cli (process " +
                        std::to_string(first) + "): close that program first."),
        std::string::npos)
        << second.out;
    // The first weave goes on undisturbed: no reset reached its controller.
    const size_t before = recordLines("pick ");
    ASSERT_TRUE(until([&] { return recordLines("pick ") >= before + 2; }, 20s));
    ::kill(first, SIGINT);
    EXPECT_EQ(exitOf(first), 0) << err();
    expectJx3Cloth(out(), kTwill);
}

TEST_F(Cli, LoomThatGoesAwayMidRunEndsItWithLineBreakAndNoDownloadOffer) {
    // Killed just after pick 3 is reported, long before pick 4 is woven.
    startSim({"--weave-ms", "400"});
    settings("");
    const pid_t cli = startWeave(kTwill + " --from 1 --to 40");
    ASSERT_TRUE(until([&] { return reportedPicks(out()).size() == 3; }, 20s));
    ::kill(sim, SIGKILL);
    ::waitpid(sim, nullptr, 0);
    sim = -1;
    EXPECT_EQ(exitOf(cli, 10s), 1);
    const std::string text = err();
    EXPECT_NE(text.find("Line break"), std::string::npos) << text;
    EXPECT_EQ(text.find("Download software?"), std::string::npos) << text;
    EXPECT_NE(out().find("The loom's port is gone."), std::string::npos) << out();
    expectJx3Cloth(out(), kTwill);
}

TEST_F(Cli, PulledCableEndsTheRunAtOnceWithThePositionIntact) {
    startSim({"--weave-ms", "5", "--unplug-after-picks", "3", "--unplug-ms", "5000"});
    settings("");
    const auto t0 = std::chrono::steady_clock::now();
    const Output o = weave(kTwill + " --from 1 --to 8", 20);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s);  // no wait for the device
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(err(), "Line break\n");
    EXPECT_EQ(reportedPicks(o.out), (std::vector<int>{1, 2, 3}));
    EXPECT_NE(o.out.find("(Next weft on resume: 4)"), std::string::npos) << o.out;
    expectJx3Cloth(o.out, kTwill);
}

TEST_F(Cli, PicksCutToTheRowBlocksAreSaidAndTheRestWeaves) {
    startSim({"--weave-ms", "5"});
    // jacquard440 has 160 picks; chunksize 1 holds 100.
    settings("[Mirlo]\nchunksize=1\n[WeavePilot]\ncontrollerArrangement=440");
    const std::string design = WP_SOURCE_DIR "/examples/jacquard440.dob";
    const Output o = weave(design + " --from 97 --to 100");
    EXPECT_EQ(o.status, 0) << err();
    EXPECT_NE(err().find("Design size: 160 picks, available 100. The design is cut to 100 picks; "
                         "to weave them all, raise chunksize (now 1)"),
              std::string::npos)
        << err();
    EXPECT_EQ(reportedPicks(o.out), (std::vector<int>{97, 98, 99, 100}));
    expectJx3Cloth(o.out, design);
}

TEST_F(Cli, KilledMidRunTheJournalGoesOnWithEveryPickOnce) {
    // The loom takes a second a pick. Killed while pick 13 is on the loom; the
    // weaver says whether the loom wove it before the journal's run.
    const fs::path journal = dir / "weaving.journal";
    const auto journalText = [&] {
        std::ifstream in(journal);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    for (const bool wovenMeanwhile : {false, true}) {
        SCOPED_TRACE(wovenMeanwhile ? "woven before the resume" : "not woven");
        fs::remove(dir / "out.txt");
        startSim({"--weave-ms", "1000"});
        settings("");
        const pid_t cli = startWeave(kTwill + " --from 11 --to 15");
        ASSERT_TRUE(
            until([&] { return journalText().find("pick=13\n") != std::string::npos; }, 20s))
            << out();
        ::kill(cli, SIGKILL);
        ::waitpid(cli, nullptr, 0);
        const std::string before = out();
        EXPECT_EQ(reportedPicks(before), (std::vector<int>{11, 12}));
        EXPECT_NE(journalText().find("OnLoom=1\n"), std::string::npos) << journalText();
        // The loom weaves the pick it holds when the weaver treadles.
        if (wovenMeanwhile) {
            ASSERT_TRUE(until([&] { return recordLines("pick ") == 3; }, 20s));
        }

        const Output resumed =
            weave(std::string("--resume-journal ") + (wovenMeanwhile ? "--yes" : "--no"));
        EXPECT_EQ(resumed.status, 0) << err();
        EXPECT_NE(err().find("Pick 13 had been sent to the loom when weaving stopped. Has the "
                             "loom woven it?"),
                  std::string::npos)
            << err();
        const std::vector<int> rest =
            wovenMeanwhile ? std::vector<int>{14, 15} : std::vector<int>{13, 14, 15};
        EXPECT_EQ(reportedPicks(resumed.out), rest);
        // The loom wove 11 to 15, each once.
        expectJx3Cloth("pick 11\npick 12\npick 13\npick 14\npick 15\n", kTwill);
        EXPECT_FALSE(fs::exists(journal));  // a clean end removes it
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        sim = -1;
    }

    const Output none = weave("--resume-journal");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(err(), "weavepilot-cli: no weaving journal (" + journal.string() + ")\n");
}

TEST_F(Cli, TerminatedOrHungUpTheRunStopsAsCtrlCDoes) {
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        fs::remove(dir / "out.txt");  // the last round's output is not this one's
        startSim({"--weave-ms", "100"});
        settings("");
        const pid_t cli = startWeave(kTwill + " --from 1 --to 40");
        ASSERT_TRUE(until([&] { return reportedPicks(out()).size() >= 3; }, 20s)) << out();
        ::kill(cli, sig);
        int status = 0;
        ::waitpid(cli, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        // The stop cancels the pick on the loom: what was reported is what was woven.
        const std::string o = out();
        EXPECT_NE(o.find("current pick"), std::string::npos) << o;
        EXPECT_EQ(recordLines("pick "), reportedPicks(o).size());
        expectJx3Cloth(o, kTwill);
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        sim = -1;
    }
}

TEST_F(Cli, JournalRunGoesOnToANewEndWeft) {
    startSim({"--weave-ms", "5"});
    settings("");
    wp::Journal(wp::journalPathFor((dir / "lanset.ini").string()))
        .record({kTwill, FileType::Native, 4, 1, 6, false, false, false});
    const Output o = weave("--resume-journal --to 8");
    EXPECT_EQ(o.status, 0) << err();
    EXPECT_EQ(reportedPicks(o.out), (std::vector<int>{5, 6, 7, 8}));
    expectJx3Cloth(o.out, kTwill);
    // A range already woven to its end: nothing to do, said so.
    wp::Journal(wp::journalPathFor((dir / "lanset.ini").string()))
        .record({kTwill, FileType::Native, 8, 1, 8, false, false, false});
    const Output done = weave("--resume-journal");
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out,
              "pick 8 of " + kTwill + " was the last of its range: nothing is left to weave\n");
}

}  // namespace
}  // namespace wp
