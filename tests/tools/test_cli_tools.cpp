// weavepilot-cli floats and colours, run as a script would, checked against
// the same tools run in this process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/session.h"
#include "import/load.h"
#include "tests/support/fakeui.h"
#include "tools/colours.h"
#include "tools/coloursfile.h"
#include "tools/floats.h"
#include "tools/image.h"

namespace wp {
namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

std::string joined(const std::vector<int>& v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + std::to_string(v[i]);
    return s;
}

class CliTools : public ::testing::Test {
protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "wp-clitools-XXXXXX").string();
        dir = mkdtemp(t.data());
        for (const char* name : {"twill8.dob", "jacquard440.dob"})
            fs::copy_file(fs::path(WP_EXAMPLES_DIR) / name, dir / name);
        std::ofstream(dir / "lanset.ini") << "[WeavePilot]\ncontrollerArrangement=440\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    Output cli(const std::string& args) {
        Output o;
        const fs::path err = dir / "stderr.txt";
        const std::string command = std::string(WP_CLI) + " " + args + " --settings " +
                                    (dir / "lanset.ini").string() + " 2>" + err.string();
        std::FILE* p = ::popen(command.c_str(), "r");
        if (!p) return o;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
        const int st = ::pclose(p);
        o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        o.err = slurp(err);
        return o;
    }

    // The same design, loaded here as the CLI loads it.
    struct Loaded {
        test::FakeUI ui;
        Session session;
        explicit Loaded(const fs::path& dir, const std::string& name)
            : session(ui, (dir / "lanset.ini").string()) {
            session.loadSettings(false);
            ui.fileToChoose = (dir / name).string();
            DesignLoader loader(session);
            loader.resetController = false;
            EXPECT_TRUE(loader.openCommand(FileType::Native));
            EXPECT_TRUE(openFloatAnalysis(session.design()));
        }
        DesignModel& d() { return session.design(); }
    };

    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(CliTools, FloatsPrintsThePanelsTextsAndBothHistograms) {
    const Output o = cli("floats " + path("jacquard440.dob"));
    ASSERT_EQ(o.status, 0) << o.err;
    Loaded here(dir, "jacquard440.dob");
    analyseFloats(here.d());
    const std::vector<std::string> want = {
        "mxweft=" + longestFloatText(here.d().analysis.weftHistogram),
        "mxwarp=" + longestFloatText(here.d().analysis.warpHistogram),
        "weftFloats=" + joined(here.d().analysis.weftHistogram),
        "warpFloats=" + joined(here.d().analysis.warpHistogram)};
    EXPECT_EQ(lines(o.out), want);
    // 100 counts each, and every cell of every pick in exactly one weft float.
    const auto counts = lines(o.out)[2];
    EXPECT_EQ(std::count(counts.begin(), counts.end(), ','), 99);
    long cells = 0;
    for (int k = 0; k < 98; ++k)
        cells += (k + 1L) * here.d().analysis.weftHistogram[static_cast<size_t>(k)];
    EXPECT_EQ(cells, 440L * 160L);
}

TEST_F(CliTools, FloatsCutsAppliesAndWritesTheDesign) {
    const Output o =
        cli("floats " + path("jacquard440.dob") + " --cut warp --limit 4 --seed 9 --out " +
            path("cut.pbm") + " --save " + path("weft"));
    ASSERT_EQ(o.status, 0) << o.err;
    Loaded here(dir, "jacquard440.dob");
    analyseFloats(here.d());
    ASSERT_TRUE(showFloats(here.d(), FloatLine::WarpEnds, 4));
    ASSERT_TRUE(toggleCutPreview(here.d(), seededDraw(9)));
    const int cuts = applyCuts(here.d());
    ASSERT_GT(cuts, 0);
    EXPECT_EQ(lines(o.out), std::vector<std::string>{"cuts=" + std::to_string(cuts)});

    // The cut design, laid out as render writes it.
    const DesignModel& d = here.d();
    std::vector<uint8_t> black;
    for (int j = 0; j < 160; ++j)
        for (int x = 0; x < 440; ++x) black.push_back(d.lift(RowNo{j}, x));
    const std::vector<uint8_t> pbm = encodePbm(440, 160, black);
    EXPECT_EQ(slurp(dir / "cut.pbm"), std::string(pbm.begin(), pbm.end()));
    const auto weft = encodeWeftImage(d);
    const auto colours = encodeColoursFile(d);
    EXPECT_EQ(slurp(dir / "weft.bmp"), std::string(weft.begin(), weft.end()));
    EXPECT_EQ(slurp(dir / "weft_colors.bmp"), std::string(colours.begin(), colours.end()));

    // The same seed cuts the same cells.
    ASSERT_EQ(cli("floats " + path("jacquard440.dob") + " --cut warp --limit 4 --seed 9 --out " +
                  path("again.pbm"))
                  .status,
              0);
    EXPECT_EQ(slurp(dir / "again.pbm"), slurp(dir / "cut.pbm"));
}

TEST_F(CliTools, FloatsRefusesIncompleteOrImpossibleCuts) {
    for (const std::string& args :
         {std::string(" --cut weft --out x.pbm"), std::string(" --cut weft --limit 3"),
          std::string(" --cut diagonal --limit 3 --out x.pbm"),
          std::string(" --cut weft --limit 2 --out x.pbm"), std::string(" --limit 5"),
          std::string(" --seed 1")}) {
        const Output o = cli("floats " + path("twill8.dob") + args);
        EXPECT_EQ(o.status, 2) << args;
        EXPECT_NE(o.err.find("weavepilot-cli:"), std::string::npos) << args;
        EXPECT_TRUE(o.out.empty()) << args;
    }
    const Output missing = cli("floats " + path("none.dob"));
    EXPECT_EQ(missing.status, 1);
}

TEST_F(CliTools, ColoursAppliesTheDialogsOk) {
    const Output o = cli("colours " + path("twill8.dob") +
                         " --weft --palette FF0000,00ff00,0000FF --layout '1,(2,3)2'");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto out = lines(o.out);
    ASSERT_EQ(out.size(), 2u);
    std::string colours = "weftColours=FF0000", numbers = "weftNumbers=1";
    for (int i = 1; i < 64; ++i) {
        colours += i % 2 ? ",00FF00" : ",0000FF";
        numbers += i % 2 ? ",2" : ",3";
    }
    EXPECT_EQ(out[0], colours);
    EXPECT_EQ(out[1], numbers);
    EXPECT_TRUE(o.err.empty()) << o.err;

    // A faulty layout: its message on stderr, then the palette in turn; --count
    // takes fewer colours than given.
    const Output bad = cli("colours " + path("twill8.dob") +
                           " --weft --palette 112233,445566,778899 --count 2 --layout 1,3");
    ASSERT_EQ(bad.status, 0);
    EXPECT_NE(bad.err.find("Invalid color 3 at position 4"), std::string::npos) << bad.err;
    EXPECT_EQ(lines(bad.out)[1].substr(0, 25), "weftNumbers=1,2,1,2,1,2,1");

    const Output warp = cli("colours " + path("twill8.dob") + " --warp --palette 102030,A0B0C0");
    ASSERT_EQ(warp.status, 0);
    const auto w = lines(warp.out);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].substr(0, 33), "warpColours=102030,A0B0C0,102030,");
    EXPECT_EQ(std::count(w[0].begin(), w[0].end(), ','), 47);
}

TEST_F(CliTools, ColoursWritesTheColoursFileBesideTheDesign) {
    const Output o = cli("colours " + path("twill8.dob") +
                         " --weft --palette 0000FF,FFFF00 --layout '(1)3,2' " + "--write-colours");
    ASSERT_EQ(o.status, 0) << o.err;
    Loaded back(dir, "twill8.dob");
    ColourPalettes p;
    ASSERT_TRUE(readColoursFile(path("twill8_colors.bmp"), back.d(), p).ok());
    EXPECT_EQ(back.d().weftColours[0], 0xFF0000u);  // 0000FF: blue
    EXPECT_EQ(back.d().weftColours[2], 0xFF0000u);
    EXPECT_EQ(back.d().weftColours[3], 0x00FFFFu);  // FFFF00: yellow
    EXPECT_EQ(back.d().weftColourNumbers[63], 2);

    // Read back at the next load when the weaver says yes: the palette comes
    // from the file, so two colours in turn are blue and yellow, not white.
    const Output again = cli("colours " + path("twill8.dob") + " --weft --count 2 --yes");
    ASSERT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("Read the manual colors file?"), std::string::npos);
    EXPECT_EQ(lines(again.out)[0].substr(0, 40), "weftColours=0000FF,FFFF00,0000FF,FFFF00,");
}

TEST_F(CliTools, ColoursRefusesBadOptions) {
    for (const std::string& args :
         {std::string(""), std::string(" --weft --warp"), std::string(" --weft --palette FF00"),
          std::string(" --weft --palette GG0000"), std::string(" --weft --count 17")}) {
        const Output o = cli("colours " + path("twill8.dob") + args);
        EXPECT_EQ(o.status, 2) << args;
        EXPECT_NE(o.err.find("weavepilot-cli:"), std::string::npos) << args;
    }
}

}  // namespace
}  // namespace wp
