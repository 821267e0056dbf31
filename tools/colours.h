#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/design.h"
#include "model/userio.h"

namespace wp {

// Colour layouts: a palette of up to 16 colours and a layout expression of
// palette numbers, groups "( )" and repeat counts, spread over all picks or
// all warp ends.
inline constexpr int kPaletteSlots = 16;
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr size_t kLayoutCodesMax = 258;  // end code included

enum class ColourTarget { Weft, Warp };

struct Palette {
    std::array<uint32_t, kPaletteSlots> colours{};  // slot k at index k - 1
    int count = 0;                                  // slots in use
    std::string layout;                             // the last accepted expression

    Palette() { colours.fill(kWhite); }
};

// The palettes of the loaded design, one per target.
struct ColourPalettes {
    Palette weft;
    Palette warp;

    Palette& of(ColourTarget t) { return t == ColourTarget::Weft ? weft : warp; }
    const Palette& of(ColourTarget t) const { return t == ColourTarget::Weft ? weft : warp; }
    // A new design: both palettes empty and white, no layouts.
    void newPattern() { *this = ColourPalettes{}; }
};

// Codes of a compiled layout.
inline constexpr uint16_t kGroupStart = 0xFFFF;
inline constexpr uint16_t kGroupEnd = 0xFFFE;  // followed by the group's repeat count
inline constexpr uint16_t kLayoutEnd = 0;

// One token of a layout expression.
enum class TokenKind { Nothing = 0, Colour = 1, Count = 2, Open = 3, Close = 4 };
struct LayoutToken {
    TokenKind kind = TokenKind::Nothing;
    long value = 0;
    // Whether a character was used; a "(" or ")" that ends a number is left.
    bool consumed = false;
};

// Reads one token from 1-based position `pos` (advanced past what was used),
// starting with `carried` (Nothing, or Close right after a ")"). Digits make a
// number, "*" makes it a repeat count, "," and spaces end it; other
// characters end a number and are skipped.
LayoutToken readLayoutToken(const std::string& text, size_t& pos, TokenKind carried);

// A layout compiled for a palette of `paletteSize` colours. Not valid: `error`
// holds the message shown, or is empty when there was nothing to translate.
struct CompiledLayout {
    bool valid = false;
    std::vector<uint16_t> codes;
    std::string error;
};
CompiledLayout translateLayout(const std::string& text, int paletteSize, bool designLoaded);

// Spreads a compiled layout over the target's picks or warp ends with the
// given palette slots; a layout's tail repeats to the end of the design.
// Returns the entries written by the layout itself.
int unfoldLayout(const std::vector<uint16_t>& codes, ColourTarget target,
                 const std::array<uint32_t, kPaletteSlots>& palette, DesignModel& d);

// The colour dialog's working state and its buttons, without the widgets.
class ColourLayoutEditor {
public:
    explicit ColourLayoutEditor(ColourTarget target) : target_(target) { slots_.fill(kWhite); }

    ColourTarget target() const { return target_; }
    // "Weft colors" or "Warp colors".
    const char* caption() const;

    // The dialog is shown: working copies of the target's palette and layout.
    void load(const ColourPalettes& p);

    int paletteSize() const { return size_; }
    // "Number of threads in pattern": kept within 0..16.
    void setPaletteSize(int n);
    uint32_t slot(int k) const { return slots_.at(static_cast<size_t>(k - 1)); }
    void setSlot(int k, uint32_t colour);
    const std::array<uint32_t, kPaletteSlots>& slotColours() const { return slots_; }
    const std::string& layoutText() const { return text_; }
    void setLayoutText(std::string text) { text_ = std::move(text); }

    // RESET: no colours in use, all slots white, no layout.
    void reset();
    // Focus leaves the layout field: the layout is compiled and a fault shown.
    bool translate(const DesignModel& d, UserInterface& ui);
    // OK: the layout, or the palette in turn, applied to the target. False when
    // no design is loaded (the dialog closes as cancelled).
    bool apply(DesignModel& d, ColourPalettes& p, UserInterface& ui);

private:
    ColourTarget target_;
    std::array<uint32_t, kPaletteSlots> slots_{};
    int size_ = 0;
    std::string text_;
    CompiledLayout compiled_;
    std::string shownFault_;
};

}  // namespace wp
