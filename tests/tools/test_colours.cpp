#include <gtest/gtest.h>

#include <string>

#include "tests/support/fakeui.h"
#include "tests/tools/designs.h"
#include "tools/colours.h"

namespace wp {
namespace {

using test::makeDesign;

std::vector<uint16_t> codesOf(const std::string& text, int n) {
    const CompiledLayout c = translateLayout(text, n, true);
    EXPECT_TRUE(c.valid) << text << ": " << c.error;
    return c.codes;
}

std::string errorOf(const std::string& text, int n) {
    const CompiledLayout c = translateLayout(text, n, true);
    EXPECT_FALSE(c.valid) << text;
    return c.error;
}

constexpr uint16_t S = kGroupStart, E = kGroupEnd;

TEST(LayoutTranslation, NumbersAndSeparators) {
    EXPECT_EQ(codesOf("1,2,10", 10), (std::vector<uint16_t>{1, 2, 10, 0}));
    // Spaces, commas and other characters all end a number.
    EXPECT_EQ(codesOf("1 2,3x4", 4), (std::vector<uint16_t>{1, 2, 3, 4, 0}));
    EXPECT_EQ(codesOf("  ,1,, 2  ", 2), (std::vector<uint16_t>{1, 2, 0}));
}

TEST(LayoutTranslation, GroupsAndRepeatCounts) {
    EXPECT_EQ(codesOf("(1,2)*3", 2), (std::vector<uint16_t>{S, 1, 2, E, 3, 0}));
    EXPECT_EQ(codesOf("(1,2)3", 2), (std::vector<uint16_t>{S, 1, 2, E, 3, 0}));
    EXPECT_EQ(codesOf("(1,2) x 4", 2), (std::vector<uint16_t>{S, 1, 2, E, 4, 0}));
    // No count: once. "*" alone counts once too.
    EXPECT_EQ(codesOf("(1,2)", 2), (std::vector<uint16_t>{S, 1, 2, E, 1, 0}));
    EXPECT_EQ(codesOf("(1,2)*", 2), (std::vector<uint16_t>{S, 1, 2, E, 1, 0}));
    // After a ")": the end, a space, "(", ")" or "," close the group with count 1
    // and reading goes on.
    EXPECT_EQ(codesOf("(1,2) ", 2), (std::vector<uint16_t>{S, 1, 2, E, 1, 0}));
    EXPECT_EQ(codesOf("(1)(2)", 2), (std::vector<uint16_t>{S, 1, E, 1, S, 2, E, 1, 0}));
    EXPECT_EQ(codesOf("(1),2", 2), (std::vector<uint16_t>{S, 1, E, 1, 2, 0}));
    EXPECT_EQ(codesOf("((1)2)3", 2), (std::vector<uint16_t>{S, S, 1, E, 2, E, 3, 0}));
    EXPECT_EQ(codesOf("((1) ) 2", 2), (std::vector<uint16_t>{S, S, 1, E, 1, E, 2, 0}));
}

TEST(LayoutTranslation, FaultsAndTheirMessages) {
    EXPECT_EQ(errorOf("1,4,2", 3), "Invalid color 4 at position 5");
    EXPECT_EQ(errorOf("1,0", 3), "Invalid color 0 at position 4");
    // A count that does not follow a ")" is a colour out of range.
    EXPECT_EQ(errorOf("1,*3", 3), "Invalid color 3 at position 5");
    EXPECT_EQ(errorOf("300", 16), "Invalid color 300 at position 4");
    EXPECT_EQ(errorOf("(1)300", 16), "Invalid color 300 at position 7");
    EXPECT_EQ(errorOf("(1,2", 2), "Parenthesis not closed");
    EXPECT_EQ(errorOf("1,2)", 2), "Parenthesis not closed");
    std::string longText;
    for (int i = 0; i < 260; ++i) longText += "1,";
    EXPECT_EQ(errorOf(longText, 2), "Layout too long");
    // 257 numbers and the end code just fit.
    EXPECT_EQ(codesOf(longText.substr(0, 257 * 2), 2).size(), kLayoutCodesMax);
}

TEST(LayoutTranslation, NothingToTranslate) {
    for (const CompiledLayout& c :
         {translateLayout("", 4, true), translateLayout("1,2", 1, true),
          translateLayout("1,2", 4, false), translateLayout(" , ", 4, true)}) {
        EXPECT_FALSE(c.valid);
        EXPECT_TRUE(c.error.empty());
    }
}

// Palette number k is colour 0x10 * k, so the output reads as the numbers.
std::array<uint32_t, kPaletteSlots> numberedSlots() {
    std::array<uint32_t, kPaletteSlots> s{};
    for (int k = 1; k <= kPaletteSlots; ++k)
        s[static_cast<size_t>(k - 1)] = 0x10u * static_cast<uint32_t>(k);
    return s;
}

std::string unfolded(const std::string& text, int picks, int n = 3) {
    DesignModel d = makeDesign(4, picks);
    unfoldLayout(codesOf(text, n), ColourTarget::Weft, numberedSlots(), d);
    std::string out;
    for (int i = 0; i < picks; ++i) {
        const auto at = static_cast<size_t>(i);
        EXPECT_EQ(d.weftColours[at], 0x10u * d.weftColourNumbers[at]);
        out += std::to_string(d.weftColourNumbers[at]);
    }
    return out;
}

TEST(LayoutUnfold, TheTailRepeatsToTheEndOfTheDesign) {
    EXPECT_EQ(unfolded("1,2", 10), "1212121212");
    EXPECT_EQ(unfolded("1,(2,3)2", 10), "1232323232");
    EXPECT_EQ(unfolded("(1)3,2", 10), "1112222222");
    // A group with a count at the end: written 3 times, then that output again.
    EXPECT_EQ(unfolded("3,(1,2,2)*3", 14), "31221221221221");
    EXPECT_EQ(unfolded("3,(1,2)", 8), "31212121");
    EXPECT_EQ(unfolded("((1,2)2,3)2", 12), "121231212312");
    // More entries than picks: the output stops at the last pick.
    EXPECT_EQ(unfolded("(1,2,3)9", 5), "12312");
}

TEST(LayoutUnfold, WarpEndsTakeColoursOnly) {
    DesignModel d = makeDesign(7, 2);
    const int written = unfoldLayout(codesOf("(2)2,1", 2), ColourTarget::Warp, numberedSlots(), d);
    EXPECT_EQ(written, 7);
    EXPECT_EQ(d.warpColours, (std::vector<uint32_t>{0x20, 0x20, 0x10, 0x10, 0x10, 0x10, 0x10}));
    EXPECT_EQ(d.weftColourNumbers, (std::vector<uint16_t>{0, 0}));
}

class ColourDialog : public ::testing::Test {
protected:
    DesignModel d = makeDesign(5, 7);
    ColourPalettes palettes;
    test::FakeUI ui;

    ColourLayoutEditor editor(ColourTarget target, int n, const std::string& layout) {
        ColourLayoutEditor e(target);
        e.load(palettes);
        for (int k = 1; k <= kPaletteSlots; ++k) e.setSlot(k, 0x10u * static_cast<uint32_t>(k));
        e.setPaletteSize(n);
        e.setLayoutText(layout);
        return e;
    }
    std::string weftNumbers() const {
        std::string s;
        for (uint16_t v : d.weftColourNumbers) s += std::to_string(v);
        return s;
    }
};

TEST_F(ColourDialog, LayoutAppliedAndKeptWithItsPalette) {
    ColourLayoutEditor e = editor(ColourTarget::Weft, 3, "3,(1,2)");
    EXPECT_STREQ(e.caption(), "Weft colors");
    ASSERT_TRUE(e.apply(d, palettes, ui));
    EXPECT_EQ(weftNumbers(), "3121212");
    EXPECT_TRUE(d.manualColours);
    EXPECT_EQ(palettes.weft.count, 3);
    EXPECT_EQ(palettes.weft.layout, "3,(1,2)");
    EXPECT_EQ(palettes.weft.colours[2], 0x30u);
    EXPECT_EQ(palettes.warp.count, 0);
    EXPECT_TRUE(ui.boxes.empty());
    // Shown again, the dialog starts from what was kept.
    ColourLayoutEditor again(ColourTarget::Weft);
    again.load(palettes);
    EXPECT_EQ(again.paletteSize(), 3);
    EXPECT_EQ(again.layoutText(), "3,(1,2)");
    EXPECT_EQ(again.slot(3), 0x30u);
}

TEST_F(ColourDialog, WithoutAUsableLayoutThePaletteGoesInTurn) {
    // One colour: the layout needs two, so it is not used.
    ColourLayoutEditor one = editor(ColourTarget::Weft, 1, "1,1,2");
    ASSERT_TRUE(one.apply(d, palettes, ui));
    EXPECT_EQ(weftNumbers(), "1111111");
    EXPECT_TRUE(ui.boxes.empty());

    // A faulty layout: its message, then the palette in turn.
    ColourLayoutEditor bad = editor(ColourTarget::Weft, 3, "1,4");
    ASSERT_TRUE(bad.apply(d, palettes, ui));
    ASSERT_EQ(ui.boxTexts(), std::vector<std::string>{"Invalid color 4 at position 4"});
    EXPECT_EQ(ui.boxes[0].kind, BoxKind::Information);
    EXPECT_EQ(ui.boxes[0].buttons, Buttons::Yes);
    EXPECT_EQ(weftNumbers(), "1231231");
    EXPECT_EQ(d.weftColours[2], 0x30u);

    ColourLayoutEditor warp = editor(ColourTarget::Warp, 2, "");
    ASSERT_TRUE(warp.apply(d, palettes, ui));
    EXPECT_EQ(d.warpColours, (std::vector<uint32_t>{0x10, 0x20, 0x10, 0x20, 0x10}));
    EXPECT_EQ(palettes.warp.count, 2);
}

TEST_F(ColourDialog, AFaultIsShownOnceForTheSameText) {
    ColourLayoutEditor e = editor(ColourTarget::Weft, 2, "(1,2");
    EXPECT_FALSE(e.translate(d, ui));       // the field is left
    ASSERT_TRUE(e.apply(d, palettes, ui));  // then OK
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Parenthesis not closed"});
    e.setLayoutText("(1,3)");
    EXPECT_FALSE(e.translate(d, ui));
    e.setLayoutText("(1,2)");
    EXPECT_TRUE(e.translate(d, ui));
    e.setLayoutText("(1,2");
    EXPECT_FALSE(e.translate(d, ui));
    EXPECT_EQ(ui.boxTexts(),
              (std::vector<std::string>{"Parenthesis not closed", "Invalid color 3 at position 5",
                                        "Parenthesis not closed"}));
}

TEST_F(ColourDialog, NoColoursGiveTheDefaults) {
    ColourLayoutEditor e = editor(ColourTarget::Weft, 3, "");
    ASSERT_TRUE(e.apply(d, palettes, ui));
    ColourLayoutEditor none = editor(ColourTarget::Weft, 0, "");
    d.manualColours = false;
    ASSERT_TRUE(none.apply(d, palettes, ui));
    EXPECT_EQ(weftNumbers(), "0000000");
    for (uint32_t c : d.weftColours) EXPECT_EQ(c, 0xFFFFFFu);
    EXPECT_EQ(palettes.weft.count, 0);
    // Colours were set by hand, so they are kept at close.
    EXPECT_TRUE(d.manualColours);

    ColourLayoutEditor warp = editor(ColourTarget::Warp, 0, "");
    ASSERT_TRUE(warp.apply(d, palettes, ui));
    for (uint32_t c : d.warpColours) EXPECT_EQ(c, 0x0000FFu);
}

TEST_F(ColourDialog, ALayoutThatAssignsNothingKeepsTheFlag) {
    d.manualColours = true;
    ColourLayoutEditor e = editor(ColourTarget::Weft, 2, "()");
    ASSERT_TRUE(e.apply(d, palettes, ui));
    EXPECT_TRUE(d.manualColours);
    EXPECT_EQ(weftNumbers(), "0000000");
    d.manualColours = false;
    ASSERT_TRUE(e.apply(d, palettes, ui));
    EXPECT_FALSE(d.manualColours);
}

TEST_F(ColourDialog, ResetSizeLimitsAndNoDesign) {
    ColourLayoutEditor e = editor(ColourTarget::Warp, 3, "1,2");
    EXPECT_STREQ(e.caption(), "Warp colors");
    e.setPaletteSize(40);
    EXPECT_EQ(e.paletteSize(), 16);
    e.setPaletteSize(-2);
    EXPECT_EQ(e.paletteSize(), 0);
    e.setSlot(17, 0x123456);
    e.setSlot(0, 0x123456);
    e.reset();
    EXPECT_EQ(e.paletteSize(), 0);
    EXPECT_TRUE(e.layoutText().empty());
    for (int k = 1; k <= kPaletteSlots; ++k) EXPECT_EQ(e.slot(k), 0xFFFFFFu);

    DesignModel empty;
    EXPECT_FALSE(e.apply(empty, palettes, ui));
}

TEST(ColourPalettesState, NewPatternEmptiesBoth) {
    ColourPalettes p;
    p.weft.count = 3;
    p.warp.colours[4] = 0x123;
    p.warp.layout = "1,2";
    p.newPattern();
    EXPECT_EQ(p.weft.count, 0);
    EXPECT_EQ(p.warp.colours[4], 0xFFFFFFu);
    EXPECT_TRUE(p.warp.layout.empty());
}

}  // namespace
}  // namespace wp
