#include "tools/colours.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace wp {

namespace {

constexpr long kNumberCap = 1000000;  // far above any usable number, below overflow

bool isNumberCode(uint16_t c) {
    return c != kLayoutEnd && c != kGroupStart && c != kGroupEnd;
}

std::string invalidColour(long value, size_t pos) {
    char text[80];
    std::snprintf(text, sizeof text, "Invalid color %ld at position %zu", value, pos);
    return text;
}

// Writes the entries of a compiled layout one after the other, never at or
// beyond the end of the design.
class Unfolder {
public:
    Unfolder(const std::vector<uint16_t>& codes, ColourTarget target,
             const std::array<uint32_t, kPaletteSlots>& palette, DesignModel& d)
        : codes_(codes), target_(target), slots_(palette), d_(d) {
        if (target == ColourTarget::Weft)
            limit_ = static_cast<int>(std::min({static_cast<size_t>(std::max(0, d.header.wefts())),
                                                d.weftColours.size(), d.weftColourNumbers.size()}));
        else
            limit_ = static_cast<int>(
                std::min(static_cast<size_t>(std::max(0, d.header.warps())), d.warpColours.size()));
    }

    int run() {
        if (!codes_.empty()) slice(0);
        return pos_;
    }

private:
    uint16_t code(size_t i) const { return i < codes_.size() ? codes_[i] : kLayoutEnd; }

    void put(uint16_t k) {
        // Palette numbers are checked when the layout is compiled; the slots end at 16.
        if (pos_ >= limit_ || k < 1 || k > kPaletteSlots) return;
        const auto at = static_cast<size_t>(pos_++);
        if (target_ == ColourTarget::Weft) {
            d_.weftColours[at] = slots_[k - 1u];
            d_.weftColourNumbers[at] = k;
        } else {
            d_.warpColours[at] = slots_[k - 1u];
        }
    }

    // The entry g places back, again at the unfold position.
    void copyBack(int g) {
        const auto at = static_cast<size_t>(pos_++);
        const auto from = at - static_cast<size_t>(g);
        if (target_ == ColourTarget::Weft) {
            d_.weftColours[at] = d_.weftColours[from];
            d_.weftColourNumbers[at] = d_.weftColourNumbers[from];
        } else {
            d_.warpColours[at] = d_.warpColours[from];
        }
    }

    // Unfolds the codes from i; returns the index of the end or group-end code
    // where it stopped.
    size_t slice(size_t i) {
        for (;;) {
            int start = pos_;
            while (isNumberCode(code(i))) put(code(i++));
            if (code(i) == kGroupStart) {
                start = pos_;
                const size_t j = slice(i + 1);
                if (code(j) != kGroupEnd) return j;
                const int count = code(j + 1);
                const int g = pos_ - start;
                for (int r = 1; r < count && g > 0 && pos_ < limit_; ++r)
                    for (int e = 0; e < g && pos_ < limit_; ++e) copyBack(g);
                i = j + 2;
            }
            if (code(i) == kLayoutEnd) {
                // The tail of the layout repeats to the end of the design.
                const int g = pos_ - start;
                if (g > 0)
                    while (pos_ < limit_) copyBack(g);
                return i;
            }
            if (code(i) == kGroupEnd) return i;
            // More numbers or another group after a group: a new slice.
        }
    }

    const std::vector<uint16_t>& codes_;
    ColourTarget target_;
    const std::array<uint32_t, kPaletteSlots>& slots_;
    DesignModel& d_;
    int limit_ = 0;
    int pos_ = 0;
};

}  // namespace

LayoutToken readLayoutToken(const std::string& text, size_t& pos, TokenKind carried) {
    LayoutToken t;
    t.kind = carried;
    while (pos >= 1 && pos <= text.size()) {
        const char ch = text[pos - 1];
        if (std::isdigit(static_cast<unsigned char>(ch))) {
            if (t.kind == TokenKind::Nothing) t.kind = TokenKind::Colour;
            if (t.kind == TokenKind::Close) t.kind = TokenKind::Count;
            t.value = std::min(kNumberCap, t.value * 10 + (ch - '0'));
        } else if (ch == '*') {
            t.kind = TokenKind::Count;
        } else if (ch == '(' || ch == ')') {
            // Ends what is read so far without being used.
            if (t.kind != TokenKind::Nothing) return t;
            ++pos;
            t.consumed = true;
            t.kind = ch == '(' ? TokenKind::Open : TokenKind::Close;
            return t;
        } else if (ch == ',') {
            ++pos;
            t.consumed = true;
            if (t.kind != TokenKind::Nothing) return t;
            continue;
        } else if (ch == ' ') {
            ++pos;
            t.consumed = true;
            if (t.kind != TokenKind::Nothing && t.kind != TokenKind::Close) return t;
            continue;
        } else {
            ++pos;
            t.consumed = true;
            if (t.kind != TokenKind::Close) return t;
            continue;
        }
        ++pos;
        t.consumed = true;
    }
    return t;
}

CompiledLayout translateLayout(const std::string& text, int paletteSize, bool designLoaded) {
    CompiledLayout out;
    if (text.empty() || paletteSize < 2 || !designLoaded) return out;
    const auto fail = [&out](std::string why) {
        out.codes.clear();
        out.error = std::move(why);
        return out;
    };
    size_t pos = 1;
    int depth = 0;
    bool afterClose = false;
    while (pos <= text.size()) {
        const LayoutToken t =
            readLayoutToken(text, pos, afterClose ? TokenKind::Close : TokenKind::Nothing);
        if (afterClose) {
            // What follows a ")": its repeat count, or nothing, and then the
            // group is closed with the count it has.
            afterClose = false;
            if (t.kind == TokenKind::Count) {
                if (t.value > 255) return fail(invalidColour(t.value, pos));
                out.codes.back() = static_cast<uint16_t>(t.value == 0 ? 1 : t.value);
            }
            continue;
        }
        switch (t.kind) {
            case TokenKind::Nothing:
                break;
            case TokenKind::Colour:
                if (t.value < 1 || t.value > paletteSize) return fail(invalidColour(t.value, pos));
                out.codes.push_back(static_cast<uint16_t>(t.value));
                break;
            case TokenKind::Count:
                // A repeat count belongs after a ")".
                return fail(invalidColour(t.value, pos));
            case TokenKind::Open:
                ++depth;
                out.codes.push_back(kGroupStart);
                break;
            case TokenKind::Close:
                --depth;
                out.codes.push_back(kGroupEnd);
                out.codes.push_back(1);
                afterClose = true;
                break;
        }
        if (out.codes.size() >= kLayoutCodesMax) return fail("Layout too long");
    }
    if (depth != 0) return fail("Parenthesis not closed");
    out.valid = !out.codes.empty();
    out.codes.push_back(kLayoutEnd);
    return out;
}

int unfoldLayout(const std::vector<uint16_t>& codes, ColourTarget target,
                 const std::array<uint32_t, kPaletteSlots>& palette, DesignModel& d) {
    return Unfolder(codes, target, palette, d).run();
}

const char* ColourLayoutEditor::caption() const {
    return target_ == ColourTarget::Weft ? "Weft colors" : "Warp colors";
}

void ColourLayoutEditor::load(const ColourPalettes& p) {
    const Palette& pal = p.of(target_);
    size_ = std::clamp(pal.count, 0, kPaletteSlots);
    slots_ = pal.colours;
    text_ = pal.layout;
}

void ColourLayoutEditor::setPaletteSize(int n) {
    size_ = std::clamp(n, 0, kPaletteSlots);
}

void ColourLayoutEditor::setSlot(int k, uint32_t colour) {
    if (k >= 1 && k <= kPaletteSlots) slots_[static_cast<size_t>(k - 1)] = colour & 0xFFFFFF;
}

void ColourLayoutEditor::reset() {
    size_ = 0;
    slots_.fill(kWhite);
    text_.clear();
}

bool ColourLayoutEditor::translate(const DesignModel& d, UserInterface& ui) {
    compiled_ = translateLayout(text_, size_, d.hasDesign());
    // Leaving the field and then pressing OK translate the same text twice: its
    // fault is shown once.
    const std::string fault = compiled_.error.empty() ? "" : text_ + '\n' + compiled_.error;
    if (!fault.empty() && fault != shownFault_)
        ui.messageBox(BoxKind::Information, compiled_.error, Buttons::Yes);
    shownFault_ = fault;
    return compiled_.valid;
}

bool ColourLayoutEditor::apply(DesignModel& d, ColourPalettes& p, UserInterface& ui) {
    if (!d.hasDesign()) return false;
    Palette& pal = p.of(target_);
    const bool weft = target_ == ColourTarget::Weft;
    const size_t n = weft ? std::min({static_cast<size_t>(d.header.wefts()), d.weftColours.size(),
                                      d.weftColourNumbers.size()})
                          : std::min(static_cast<size_t>(d.header.warps()), d.warpColours.size());
    bool assigned;
    if (translate(d, ui)) {
        assigned = unfoldLayout(compiled_.codes, target_, slots_, d) > 0;
    } else if (size_ >= 1) {
        // No usable layout: the palette in turn.
        const auto N = static_cast<size_t>(size_);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t colour = slots_[i % N];
            if (weft) {
                d.weftColours[i] = colour;
                d.weftColourNumbers[i] = static_cast<uint16_t>(i % N + 1);
            } else {
                d.warpColours[i] = colour;
            }
        }
        pal.count = size_;
        pal.layout = text_;
        assigned = true;
    } else {
        // No colours: the defaults, white wefts without numbers or red warp ends.
        for (size_t i = 0; i < n; ++i) {
            if (weft) {
                d.weftColours[i] = kWhite;
                d.weftColourNumbers[i] = 0;
            } else {
                d.warpColours[i] = kDefaultWarpColour;
            }
        }
        pal.count = 0;
        pal.layout.clear();
        assigned = true;
    }
    if (assigned) {
        pal.colours = slots_;
        pal.count = size_;
        pal.layout = text_;
    }
    // Colours set here are kept in the colours file at close; a layout that
    // assigned nothing leaves the other target's hand-set colours kept too.
    d.manualColours = d.manualColours || assigned;
    return true;
}

}  // namespace wp
