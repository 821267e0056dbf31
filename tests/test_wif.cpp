// WIF drafts through the common load: what weaving programs write, read as a
// weaver expects to see and weave it.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "import/wifwriter.h"
#include "tests/support/loadtest.h"

namespace wp {
namespace {

// Rosepath on 4 shafts and 6 treadles, 8 ends x 12 picks, colours by index.
WifDraft rosepath() {
    static const std::vector<int> tie[6] = {{1, 2}, {2, 3}, {3, 4}, {1, 4}, {1, 3}, {2, 4}};
    static const int order[8] = {1, 2, 3, 4, 3, 2, 1, 4};
    WifDraft d;
    d.warps = 8;
    d.wefts = 12;
    d.shafts = 4;
    d.treadles = 6;
    d.threading = [](int e) { return std::vector<int>{order[(e - 1) % 8]}; };
    d.tieUp = [](int t) { return tie[t - 1]; };
    d.treadling = [](int p) { return std::vector<int>{(p - 1) % 6 + 1}; };
    d.colours = {{255, 0, 0}, {0, 0, 255}, {20, 30, 40}};
    d.warpColour = 1;
    d.weftColour = 2;
    d.warpColourOf = [](int e) { return e % 3 == 0 ? 3 : 1; };
    d.weftColourOf = [](int p) { return p == 5 ? 3 : 2; };
    return d;
}

// Whether pick p lifts warp end e, worked out from the draft alone.
bool drawdown(const WifDraft& d, int p, int e) {
    std::set<int> up;
    if (d.liftPlan) {
        for (int s : d.liftPlan(p)) up.insert(s);
    } else {
        for (int t : d.treadling(p))
            for (int s : d.tieUp(t)) up.insert(s);
    }
    const std::vector<int> on = d.threading(e);
    return std::any_of(on.begin(), on.end(), [&](int s) { return up.count(s) > 0; });
}

struct Wif : test::LoadTest {
    bool open(const std::string& path) { return LoadTest::open(path, FileType::Wif); }
    bool openText(const std::string& text) { return open(writeText("d.wif", text)); }
    std::string lastBox() const { return ui.boxes.empty() ? "" : ui.boxes.back().text; }
    void expectDrawdown(const WifDraft& w) {
        const DesignModel& d = s.design();
        for (int p = 1; p <= w.wefts; ++p)
            for (int e = 1; e <= w.warps; ++e)
                ASSERT_EQ(d.liftAt(PickNo{p}, e), drawdown(w, p, e)) << p << "," << e;
    }
    std::vector<int> treadlesOfPick(int p) const {
        std::vector<int> out;
        const DesignModel& d = s.design();
        for (int t = 0; t < d.header.treadles(); ++t)
            if (d.treadlingBit(t, d.rowOfPick(PickNo{p}))) out.push_back(t + 1);
        return out;
    }
    std::vector<int> shaftsOfTreadle(int t) const {
        std::vector<int> out;
        for (int sh = 0; sh < s.design().header.shafts(); ++sh)
            if (s.design().tieUpBit(t - 1, sh)) out.push_back(sh + 1);
        return out;
    }
};

TEST_F(Wif, TreadledDraftLoadsWithItsDrawdownPickOneFirst) {
    const WifDraft w = rosepath();
    ASSERT_TRUE(open(writeText("r.wif", writeWif(w)))) << lastBox();
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 8);
    EXPECT_EQ(d.header.wefts(), 12);
    EXPECT_EQ(d.header.shafts(), 4);
    EXPECT_EQ(d.header.treadles(), 6);
    expectDrawdown(w);
    // Thread i is warp end i, threading entry warps - i.
    for (int e = 1; e <= 8; ++e)
        EXPECT_EQ(d.draft.threading[static_cast<size_t>(8 - e)], w.threading(e)[0] - 1);
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(shaftsOfTreadle(t), w.tieUp(t)) << t;
    // WIF pick i is pick number i: its treadle and its colour go together.
    for (int p = 1; p <= 12; ++p) EXPECT_EQ(treadlesOfPick(p), w.treadling(p)) << p;
    EXPECT_TRUE(d.designReady);
    EXPECT_TRUE(d.shaftDraftAvailable);
    EXPECT_TRUE(ui.boxes.empty()) << lastBox();
    EXPECT_EQ(ui.filters.back(), "WIF file|*.WIF");
}

TEST_F(Wif, ColoursComeFromTheTableAsWritersLeaveThem) {
    const WifDraft w = rosepath();
    ASSERT_TRUE(open(writeText("r.wif", writeWif(w))));
    const DesignModel& d = s.design();
    // Table 255,0,0 is red (255); 0,0,255 is 16711680. Threads left out of
    // WARP COLORS, warp end 1 among them, take the default.
    for (int e = 1; e <= 8; ++e)
        EXPECT_EQ(d.warpColours[static_cast<size_t>(e - 1)], e % 3 == 0 ? 0x281E14u : 255u) << e;
    for (int p = 1; p <= 12; ++p)
        EXPECT_EQ(d.weftColours[static_cast<size_t>(p - 1)], p == 5 ? 0x281E14u : 16711680u) << p;
}

TEST_F(Wif, ColourRangesScaleToTheModelsBytes) {
    struct Case {
        std::string range, entry;
        uint32_t colour;
    };
    const Case cases[] = {
        {"0,65535", "65535,32768,0", 0x0080FFu},
        {"0,255", "200,0,7", 0x0700C8u},
        {"", "200,0,7", 0x0700C8u},
        {"0,999", "999,500,0", 0x0080FFu},
        {"999", "999,500,0", 0x0080FFu},
        {"7,7", "200,0,7", 0x0700C8u},          // no range: 0..255
        {"100,355", "100,355,228", 0x80FF00u},  // the low bound is subtracted
    };
    for (const Case& c : cases) {
        WifDraft w = rosepath();
        w.colours = {{0, 0, 0}};
        std::string text = writeWif(w);
        const size_t range = text.find("Range=0,255");
        text.replace(range, 11, c.range.empty() ? "" : "Range=" + c.range);
        const size_t entry = text.find("1=0,0,0");
        text.replace(entry, 7, "1=" + c.entry);
        ASSERT_TRUE(openText(text)) << lastBox();
        EXPECT_EQ(s.design().warpColours[0], c.colour) << c.range;
    }
}

TEST_F(Wif, DefaultColoursMayBeIndicesOrColoursAndBlackStaysBlack) {
    WifDraft w = rosepath();
    w.warpColourOf = nullptr;
    w.weftColourOf = nullptr;
    std::string text = writeWif(w);
    text.replace(text.find("Color=1"), 7, "Color=0,0,0");
    text.replace(text.find("Color=2"), 7, "Color=9,1,2,3");
    ASSERT_TRUE(openText(text)) << lastBox();
    EXPECT_EQ(s.design().warpColours, std::vector<uint32_t>(8, 0u));
    EXPECT_EQ(s.design().weftColours, std::vector<uint32_t>(12, 0x030201u));
    // Without any colour: red warp, white weft.
    w.colours.clear();
    w.warpColour = w.weftColour = 0;
    ASSERT_TRUE(open(writeText("plain.wif", writeWif(w))));
    EXPECT_EQ(s.design().warpColours, std::vector<uint32_t>(8, 255u));
    EXPECT_EQ(s.design().weftColours, std::vector<uint32_t>(12, 0xFFFFFFu));
}

WifDraft liftPlanDraft() {
    WifDraft w;
    w.warps = 3;
    w.wefts = 4;
    w.shafts = 3;
    w.treadles = 2;
    w.threading = [](int e) { return std::vector<int>{e}; };
    w.liftPlan = [](int p) {
        return p == 2 ? std::vector<int>{2} : p == 4 ? std::vector<int>{} : std::vector<int>{1, 3};
    };
    return w;
}

TEST_F(Wif, LiftPlanBecomesTreadlesInOrderOfFirstAppearance) {
    const WifDraft w = liftPlanDraft();
    ASSERT_TRUE(open(writeText("l.wif", writeWif(w)))) << lastBox();
    expectDrawdown(w);
    EXPECT_EQ(s.design().header.treadles(), 2);
    EXPECT_EQ(shaftsOfTreadle(1), (std::vector<int>{1, 3}));
    EXPECT_EQ(shaftsOfTreadle(2), (std::vector<int>{2}));
    EXPECT_EQ(treadlesOfPick(1), std::vector<int>{1});
    EXPECT_EQ(treadlesOfPick(2), std::vector<int>{2});
    EXPECT_EQ(treadlesOfPick(3), std::vector<int>{1});
    EXPECT_TRUE(treadlesOfPick(4).empty());  // a pick that raises nothing
    EXPECT_TRUE(s.design().designReady);

    // Too few treadles, or none: as many as there are distinct sets.
    for (const char* treadles : {"Treadles=1\r\n", "Treadles=0\r\n", ""}) {
        std::string text = writeWif(w);
        text.replace(text.find("Treadles=2\r\n"), 12, treadles);
        ASSERT_TRUE(openText(text)) << treadles << lastBox();
        EXPECT_EQ(s.design().header.treadles(), 2) << treadles;
        expectDrawdown(w);
    }
    // CONTENTS claims a treadling the file does not have: the lift plan counts.
    std::string text = writeWif(w);
    text.replace(text.find("TREADLING=false"), 15, "TREADLING=true");
    text.replace(text.find("TIEUP=false"), 11, "TIEUP=yes");
    ASSERT_TRUE(openText(text)) << lastBox();
    expectDrawdown(w);
}

TEST_F(Wif, ThreadsOnSeveralShaftsAndPicksOnSeveralTreadles) {
    WifDraft w = rosepath();
    w.threading = [](int e) {
        return e == 3 ? std::vector<int>{1, 4} : std::vector<int>{(e - 1) % 4 + 1};
    };
    w.treadling = [](int p) { return p % 2 ? std::vector<int>{1, 3} : std::vector<int>{2}; };
    ASSERT_TRUE(open(writeText("m.wif", writeWif(w)))) << lastBox();
    expectDrawdown(w);
    // The first shaft listed is the one the threading shows.
    EXPECT_EQ(s.design().draft.threading[static_cast<size_t>(8 - 3)], 0);
    // The shaft loom weaves one treadle a pick: each combination is a treadle.
    EXPECT_EQ(s.design().header.treadles(), 2);
    EXPECT_EQ(shaftsOfTreadle(1), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(shaftsOfTreadle(2), (std::vector<int>{2, 3}));
    for (int p = 1; p <= 12; ++p)
        EXPECT_EQ(treadlesOfPick(p), std::vector<int>{p % 2 ? 1 : 2}) << p;
}

const char* const kHandWritten =
    "; written by hand, the way old programs did\r\n"
    "\r\n"
    "[wif]\r\nversion=1.1\r\n"
    "[contents]\r\nweaving=On\r\nwarp=1\r\nweft=Yes\r\nthreading=TRUE\r\ntieup=true\r\ntreadling="
    "true\r\n"
    "color palette=no\r\n"
    "[Private MyLoom]\r\nThreads=99\r\n"
    "[Weaving]\r\nshafts=2\r\nTREADLES=2\r\n"
    "[Warp]\r\nthreads=4\r\n"
    "[Weft]\r\nThreads=2\r\n"
    "[threading]\r\n1=1\r\n2=2 ;[4]Block A\r\n; a note\r\n3=1\r\n4=2\r\n1=2\r\n"
    "[tieup]\r\n1=1\r\n2=2\r\n"
    "[treadling]\r\n1=1\r\n2=2\r\n";

TEST_F(Wif, TreadlesBeyondTheTieUpRaiseNothing) {
    // No number of treadles: the tie-up has 2, the treadling names a third.
    std::string text = kHandWritten;
    text.replace(text.find("TREADLES=2\r\n"), 12, "");
    text.replace(text.find("[treadling]\r\n1=1"), 17, "[treadling]\r\n1=3");
    ASSERT_TRUE(openText(text)) << lastBox();
    EXPECT_EQ(s.design().header.treadles(), 3);
    for (int e = 1; e <= 4; ++e) EXPECT_FALSE(s.design().liftAt(PickNo{1}, e)) << e;
    EXPECT_TRUE(s.design().liftAt(PickNo{2}, 2));
}

TEST_F(Wif, ShaftsAndTreadlesBeyondTheDeclaredCountsAreReadAndTold) {
    // The rosepath written as declaring 2 shafts and 2 treadles: left out, the
    // others would leave picks blank that the file does not.
    const WifDraft w = rosepath();
    std::string text = writeWif(w);
    text.replace(text.find("Shafts=4"), 8, "Shafts=2");
    text.replace(text.find("Treadles=6"), 10, "Treadles=2");
    ASSERT_TRUE(openText(text)) << lastBox();
    EXPECT_EQ(s.design().header.shafts(), 4);
    EXPECT_EQ(s.design().header.treadles(), 6);
    expectDrawdown(w);
    EXPECT_EQ(ui.boxTexts(),
              (std::vector<std::string>{
                  "The draft declares 2 treadles but uses treadles up to 6: it is read with all "
                  "of them.",
                  "The draft declares 2 shafts but uses shafts up to 4: it is read with all of "
                  "them."}));
}

TEST_F(Wif, ProfileFileRulesAsWeavingProgramsWriteThem) {
    ASSERT_TRUE(openText(kHandWritten)) << lastBox();
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 4);
    // Pick 1 lifts the ends on shaft 1 (ends 1 and 3; the second "1=" is ignored).
    for (int e = 1; e <= 4; ++e) {
        EXPECT_EQ(d.liftAt(PickNo{1}, e), e % 2 == 1) << e;
        EXPECT_EQ(d.liftAt(PickNo{2}, e), e % 2 == 0) << e;
    }
}

TEST_F(Wif, ContentsWordsThatSayYesAndNo) {
    for (const char* yes : {"true", "Yes", "on", "1", "TRUE"}) {
        std::string text = kHandWritten;
        text.replace(text.find("warp=1"), 6, std::string("warp=") + yes);
        EXPECT_TRUE(openText(text)) << yes << lastBox();
    }
    for (const char* no : {"0", "false", "no"}) {
        std::string text = kHandWritten;
        text.replace(text.find("warp=1"), 6, std::string("warp=") + no);
        EXPECT_FALSE(openText(text)) << no;
        EXPECT_NE(lastBox().find("its [CONTENTS] section marks the [WARP] section as absent"),
                  std::string::npos)
            << lastBox();
    }
}

TEST_F(Wif, EveryRefusalNamesTheFileAndTheReason) {
    struct Case {
        std::string from, to, says;
    };
    const Case cases[] = {
        {"[Weaving]", "[Loom]", "the file has no [WEAVING] section"},
        {"[Warp]", "[Warps]", "the file has no [WARP] section"},
        {"[Weft]", "[Wefts]", "the file has no [WEFT] section"},
        {"[threading]", "[threadings]", "the file has no [THREADING] section"},
        {"threads=4", "threads=0", "the draft has no warp ends"},
        {"Threads=2", "Threads=0", "the draft has no picks"},
        {"threads=4", "count=4", "[WARP] Threads is missing"},
        {"threads=4", "threads=221", "the draft has 221 warp ends, more than the loom's 220 hooks"},
        {"Threads=2", "Threads=5001",
         "the draft has 5001 picks, more than the 5000 a design can have; to load it, raise "
         "chunksize (now 50) in the [Mirlo] section of the settings file: a design may have "
         "chunksize x 100 picks"},
        {"3=1", "3=1;2", ""},  // a comment, not a list
        {"3=1", "3=one", "[THREADING] 3=one is not a number or list of numbers"},
        {"[tieup]", "[tie]", "the draft has a treadling but no tie-up"},
        {"[treadling]", "[treading]", "the draft has neither a treadling nor a lift plan"},
    };
    for (const Case& c : cases) {
        std::string text = kHandWritten;
        text.replace(text.find(c.from), c.from.size(), c.to);
        const std::string path = writeText("x.wif", text);
        ui.boxes.clear();
        const bool ok = open(path);
        if (c.says.empty()) {
            EXPECT_TRUE(ok) << c.to << lastBox();
            continue;
        }
        EXPECT_FALSE(ok) << c.to;
        EXPECT_EQ(lastBox(), "Cannot load " + path + ": " + c.says + ".") << c.to;
        EXPECT_FALSE(s.design().hasDesign());
    }
}

TEST_F(Wif, ADraftAsWideAsTheLoomFits) {
    WifDraft w = rosepath();
    w.warps = 220;
    ASSERT_TRUE(open(writeText("w.wif", writeWif(w)))) << lastBox();
    EXPECT_EQ(s.design().header.warps(), 220);
    expectDrawdown(w);
}

TEST_F(Wif, JacquardDraftsKeepTheirDrawdownWithoutAShaftDraft) {
    // One shaft per warp end, as programs export jacquard designs.
    WifDraft w;
    w.warps = 300;
    w.wefts = 10;
    w.shafts = 300;
    w.threading = [](int e) { return std::vector<int>{e}; };
    w.liftPlan = [](int p) {
        std::vector<int> v;
        for (int sh = 1; sh <= 300; ++sh)
            if ((sh * p) % 7 < 3) v.push_back(sh);
        return v;
    };
    settings("[WeavePilot]\ncontrollerArrangement=440\n");
    ASSERT_TRUE(open(writeText("j.wif", writeWif(w))));
    expectDrawdown(w);
    EXPECT_EQ(s.design().header.shafts(), 0);
    EXPECT_FALSE(s.design().shaftDraftAvailable);
    EXPECT_EQ(lastBox(),
              "This draft has 300 shafts and 7 treadles: its drawdown is loaded without the shaft "
              "draft.");
}

// Drafts in the shapes peer programs give them.
TEST_F(Wif, FilesAsPeerProgramsWriteThem) {
    // A lift plan with "0" for no shaft and a thread beyond the warp, colours
    // by index, as a drafting program exports a lift plan.
    const char* liftplanExport =
        "[WIF]\nVersion=1.1\nDate=April 20, 1997\nDevelopers=wif@mhsoft.com\nSource "
        "Program=Fiberworks PCW\n"
        "Source Version=4.2\n\n[CONTENTS]\nCOLOR "
        "PALETTE=true\nTEXT=true\nWEAVING=true\nWARP=true\nWEFT=true\n"
        "COLOR TABLE=true\nTHREADING=true\nTIEUP=false\nTREADLING=false\nLIFTPLAN=true\nWARP "
        "COLORS=false\n"
        "WEFT COLORS=false\n\n[TEXT]\nTitle=liftplan.dtx\n; Creation "
        "2020\n\n[THREADING]\n1=3\n2=2\n3=\n5=0\n\n"
        "[LIFTPLAN]\n1=1,2,4\n2=\n3=0\n4=0,3,4\n\n[WEAVING]\nRising "
        "Shed=true\nTreadles=4\nShafts=4\n\n"
        "[WARP]\nThreads=4\nColor=1\nSpacing=0.212\nUnits=centimeters\n\n[WEFT]\nThreads=6\nColor="
        "2\n\n"
        "[COLOR TABLE]\n1=255,255,255\n2=255,0,0\n3=0,255,0\n\n[COLOR "
        "PALETTE]\nRange=0,255\nEntries=3\n";
    ASSERT_TRUE(openText(liftplanExport)) << lastBox();
    const DesignModel& d = s.design();
    // Thread 1 on shaft 3, thread 2 on shaft 2, threads 3 and 4 unthreaded.
    const bool lifts[6][4] = {{false, true, false, false}, {}, {},
                              {true, false, false, false}, {}, {}};
    for (int p = 1; p <= 6; ++p)
        for (int e = 1; e <= 4; ++e)
            EXPECT_EQ(d.liftAt(PickNo{p}, e), lifts[p - 1][e - 1]) << p << "," << e;
    EXPECT_EQ(d.warpColours, std::vector<uint32_t>(4, 0xFFFFFFu));
    EXPECT_EQ(d.weftColours, std::vector<uint32_t>(6, 0x0000FFu));

    // Every thread's colour listed, a default of 0 (none), more palette
    // entries announced than the table holds, "yes" for true.
    const char* webExport =
        "[WIF]\nVersion=1.1\nSource Program=weavedesigner.com\n\n[CONTENTS]\nCOLOR "
        "PALETTE=yes\nWEAVING=yes\n"
        "WARP=yes\nWEFT=yes\nNOTES=yes\nTEXT=yes\nCOLOR "
        "TABLE=yes\nTHREADING=yes\nTREADLING=yes\nTIEUP=yes\n"
        "WARP COLORS=yes\nWEFT COLORS=yes\n\n[TEXT]\n; Created Monday\nTitle=Test\n\n[NOTES]\n1=a, "
        "b\n\n"
        "[COLOR PALETTE]\nEntries=52\nRange=0,255\n\n[WEAVING]\nShafts=2\nTreadles=2\nRising "
        "Shed=yes\n\n"
        "[WARP]\nThreads=3\nColor=0\nUnits=Inches\n\n[WEFT]\nThreads=2\nColor=0\n\n[COLOR "
        "TABLE]\n1=10,20,30\n"
        "2=200,100,50\n\n[THREADING]\n1=1\n2=2\n3=1\n\n[TREADLING]\n1=1\n2=2\n\n[TIEUP]\n1=1\n2="
        "2\n\n"
        "[WARP COLORS]\n1=1\n2=2\n3=1\n\n[WEFT COLORS]\n1=2\n2=2";
    ASSERT_TRUE(openText(webExport)) << lastBox();
    EXPECT_EQ(d.warpColours, (std::vector<uint32_t>{0x1E140Au, 0x3264C8u, 0x1E140Au}));
    EXPECT_EQ(d.weftColours, (std::vector<uint32_t>{0x3264C8u, 0x3264C8u}));
    EXPECT_TRUE(d.liftAt(PickNo{1}, 1));
    EXPECT_FALSE(d.liftAt(PickNo{1}, 2));
    EXPECT_TRUE(d.liftAt(PickNo{2}, 2));

    // No [CONTENTS] at all, lower-case sections, a range given as its top.
    const char* minimal =
        "[wif]\nversion=1.1\n[weaving]\nshafts=2\ntreadles=2\n[warp]\nthreads=2\n[weft]\nthreads="
        "2\n"
        "[color palette]\nrange=999\n[color table]\n1=999,0,0\n2=0,0,999\n[threading]\n1=1\n2=2\n"
        "[tieup]\n1=1\n2=2\n[treadling]\n1=1\n2=2\n[warp colors]\n1=1\n2=1\n[weft "
        "colors]\n1=2\n2=2\n";
    ASSERT_TRUE(openText(minimal)) << lastBox();
    EXPECT_EQ(d.warpColours, (std::vector<uint32_t>{0x0000FFu, 0x0000FFu}));
    EXPECT_EQ(d.weftColours, (std::vector<uint32_t>{0xFF0000u, 0xFF0000u}));
    EXPECT_TRUE(d.liftAt(PickNo{1}, 1));
    EXPECT_TRUE(d.liftAt(PickNo{2}, 2));
    EXPECT_FALSE(d.liftAt(PickNo{2}, 1));
}

}  // namespace
}  // namespace wp
