// The command-line programs as a support person uses them: the simulator in
// one process, weavepilot-cli in another, talking over a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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
};

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

}  // namespace
}  // namespace wp
