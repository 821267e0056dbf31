#include "import/wif.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "model/inifile.h"

namespace wp {
namespace {

// Threading entries hold a shaft index in a byte; treadles are drawn one
// column each. A draft beyond these keeps its drawdown only.
constexpr int kMaxDraftShafts = 256;
constexpr int kMaxDraftTreadles = 1024;
// Numbers in a WIF beyond this are damage, not drafts.
constexpr long kMaxNumber = 1'000'000;

struct Failure {
    std::string why;
};

// Sets of shafts numbered from 1, all of one size, in one block of words.
class ShaftSets {
public:
    ShaftSets(int count, int shafts)
        : words_(static_cast<size_t>(shafts / 64 + 1)),
          bits_(static_cast<size_t>(count) * words_, 0) {}
    void add(int set, int shaft) {
        bits_[base(set) + static_cast<size_t>(shaft / 64)] |= uint64_t{1} << (shaft % 64);
    }
    bool has(int set, int shaft) const {
        return (bits_[base(set) + static_cast<size_t>(shaft / 64)] >> (shaft % 64)) & 1;
    }
    bool empty(int set) const {
        const auto* w = &bits_[base(set)];
        return std::all_of(w, w + words_, [](uint64_t x) { return x == 0; });
    }
    // Adds the shafts of another set (of the same size).
    void merge(int set, const ShaftSets& from, int other) {
        for (size_t k = 0; k < words_; ++k)
            bits_[base(set) + k] |= from.bits_[from.base(other) + k];
    }
    // The set's bytes, to find sets that are the same.
    std::string_view key(int set) const {
        return {reinterpret_cast<const char*>(&bits_[base(set)]), words_ * sizeof(uint64_t)};
    }

private:
    size_t base(int set) const { return static_cast<size_t>(set) * words_; }
    size_t words_;
    std::vector<uint64_t> bits_;
};

// Lists of whole numbers, list i (from 1) of a numbered section.
class NumberLists {
public:
    explicit NumberLists(int count) : begin_(static_cast<size_t>(count) + 2, 0) {}
    // Lists are added in key order; keys left out stay empty.
    void set(int i, const std::vector<long>& values) {
        for (size_t k = static_cast<size_t>(filled_) + 1; k <= static_cast<size_t>(i); ++k)
            begin_[k] = static_cast<uint32_t>(values_.size());
        filled_ = i;
        for (long v : values)
            if (v >= 1) values_.push_back(static_cast<int>(v));  // 0 is "none" for several writers
        begin_[static_cast<size_t>(i) + 1] = static_cast<uint32_t>(values_.size());
    }
    void finish() {
        for (size_t k = static_cast<size_t>(filled_) + 1; k < begin_.size(); ++k)
            begin_[k] = static_cast<uint32_t>(values_.size());
    }
    const int* begin(int i) const { return values_.data() + begin_[static_cast<size_t>(i)]; }
    const int* end(int i) const { return values_.data() + begin_[static_cast<size_t>(i) + 1]; }
    int largest() const {
        return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end());
    }

private:
    std::vector<int> values_;
    std::vector<uint32_t> begin_;
    int filled_ = 0;
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A comma list of whole numbers as WIF writes it ("1,3,4"); spaces, empty
// items and a comment after ';' (some writers add one) are allowed.
bool parseList(std::string_view text, std::vector<long>& out) {
    out.clear();
    const size_t semicolon = text.find(';');
    if (semicolon != std::string_view::npos) text = text.substr(0, semicolon);
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = trimmed(text.substr(0, comma));
        if (!item.empty()) {
            long v = 0;
            const char* end = item.data() + item.size();
            const auto [p, ec] = std::from_chars(item.data() + (item[0] == '+' ? 1 : 0), end, v);
            if (ec != std::errc() || p != end || v < -kMaxNumber || v > kMaxNumber) return false;
            out.push_back(v);
        }
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::optional<int> parseKey(std::string_view key) {
    int v = 0;
    const auto [p, ec] = std::from_chars(key.data(), key.data() + key.size(), v);
    if (ec != std::errc() || p != key.data() + key.size()) return std::nullopt;
    return v;
}

class Wif {
public:
    explicit Wif(const IniFile& ini) : ini_(ini) {}

    // Whether the file carries a section: as its [CONTENTS] says ("true",
    // "yes", "on", "1" in any case) when it says, and the section is there.
    bool has(std::string_view section) const {
        if (!ini_.hasSection(section)) return false;
        const auto flag = ini_.value("CONTENTS", section);
        if (!flag) return true;
        std::string up;
        for (char c : *flag) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return up.find('1') != std::string::npos || up.find("TRU") != std::string::npos ||
               up.find("ON") != std::string::npos || up.find("YE") != std::string::npos;
    }
    void require(std::string_view section) const {
        if (!has(section)) throw Failure{"the file has no [" + std::string(section) + "] section"};
    }

    std::optional<long> number(std::string_view section, std::string_view key) const {
        const auto v = ini_.value(section, key);
        if (!v || trimmed(*v).empty()) return std::nullopt;
        std::vector<long> n;
        if (!parseList(*v, n) || n.size() != 1) throw notNumbers(section, key, *v);
        return n[0];
    }
    std::vector<long> list(std::string_view section, std::string_view key,
                           std::string_view value) const {
        std::vector<long> n;
        if (!parseList(value, n)) throw notNumbers(section, key, value);
        return n;
    }

    // Values of the keys 1..count of a section; the first of a key given twice wins.
    std::vector<std::string_view> numbered(std::string_view section, int count) const {
        std::vector<std::string_view> out(static_cast<size_t>(count) + 1);
        std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
        ini_.forEachEntry(section, [&](std::string_view key, std::string_view value) {
            const auto k = parseKey(key);
            if (!k || *k < 1 || *k > count || seen[static_cast<size_t>(*k)]) return;
            seen[static_cast<size_t>(*k)] = true;
            out[static_cast<size_t>(*k)] = value;
        });
        return out;
    }
    // The largest key of a section (0 when it has none).
    int largestKey(std::string_view section) const {
        int most = 0;
        ini_.forEachEntry(section, [&](std::string_view key, std::string_view) {
            if (const auto k = parseKey(key); k && *k <= kMaxNumber) most = std::max(most, *k);
        });
        return most;
    }

private:
    static Failure notNumbers(std::string_view section, std::string_view key,
                              std::string_view value) {
        return Failure{"[" + std::string(section) + "] " + std::string(key) + "=" +
                       std::string(value) + " is not a number or list of numbers"};
    }
    const IniFile& ini_;
};

// Colours as WIF gives them: components within the palette's range, scaled to 0..255.
struct Palette {
    long low = 0, high = 255;
    std::vector<std::optional<uint32_t>> table;  // by index

    uint32_t colour(long r, long g, long b) const {
        const long span = high - low, half = span / 2;
        auto scale = [&](long c) {
            c = std::clamp(c, low, high);
            return static_cast<uint32_t>(((c - low) * 255 + half) / span);
        };
        return scale(r) | scale(g) << 8 | scale(b) << 16;
    }
    // One number is a table index; three a colour; four an index and a colour.
    std::optional<uint32_t> resolve(const std::vector<long>& n) const {
        if (n.size() == 1) return entry(n[0]);
        if (n.size() == 3) return colour(n[0], n[1], n[2]);
        if (n.size() == 4) return colour(n[1], n[2], n[3]);
        return std::nullopt;
    }
    std::optional<uint32_t> entry(long index) const {
        if (index < 0 || index >= static_cast<long>(table.size())) return std::nullopt;
        return table[static_cast<size_t>(index)];
    }
};

Palette readPalette(const Wif& wif, const IniFile& ini) {
    Palette p;
    if (wif.has("COLOR PALETTE")) {
        if (const auto range = ini.value("COLOR PALETTE", "Range")) {
            const std::vector<long> n = wif.list("COLOR PALETTE", "Range", *range);
            // One number is the top of a range from 0; a range that is no
            // range leaves the usual 0..255.
            const long low = n.size() == 2 ? n[0] : 0;
            const long high = n.empty() ? 0 : n.back();
            if (n.size() <= 2 && low >= 0 && high > low) {
                p.low = low;
                p.high = high;
            }
        }
    }
    if (!wif.has("COLOR TABLE")) return p;
    const std::optional<long> entries =
        wif.has("COLOR PALETTE") ? wif.number("COLOR PALETTE", "Entries") : std::nullopt;
    int count = entries && *entries > 0 ? static_cast<int>(std::min<long>(*entries, 65535))
                                        : wif.largestKey("COLOR TABLE");
    count = std::min(count, 65535);
    const std::vector<std::string_view> values = wif.numbered("COLOR TABLE", count);
    p.table.assign(static_cast<size_t>(count) + 1, std::nullopt);
    for (int i = 1; i <= count; ++i) {
        const std::string_view v = values[static_cast<size_t>(i)];
        if (v.empty()) continue;
        const std::vector<long> n = wif.list("COLOR TABLE", std::to_string(i), v);
        if (n.size() == 3 || n.size() == 4) p.table[static_cast<size_t>(i)] = p.resolve(n);
    }
    return p;
}

// The threads' colours: the section's default (a table index or a colour),
// then each thread's own table index where the file gives one.
std::vector<uint32_t> threadColours(const Wif& wif, const IniFile& ini, const Palette& p,
                                    std::string_view section, std::string_view coloursSection,
                                    int count, uint32_t fallback) {
    uint32_t base = fallback;
    if (const auto text = ini.value(section, "Color"); text && !trimmed(*text).empty()) {
        if (const auto c = p.resolve(wif.list(section, "Color", *text))) base = *c;
    }
    std::vector<uint32_t> out(static_cast<size_t>(count), base);
    if (p.table.empty() || !wif.has(coloursSection)) return out;
    const std::vector<std::string_view> values = wif.numbered(coloursSection, count);
    for (int i = 1; i <= count; ++i) {
        const std::string_view v = values[static_cast<size_t>(i)];
        if (v.empty()) continue;
        const std::vector<long> n = wif.list(coloursSection, std::to_string(i), v);
        if (n.size() != 1) continue;
        if (const auto c = p.entry(n[0])) out[static_cast<size_t>(i - 1)] = *c;
    }
    return out;
}

// The lists of a numbered section, keys 1..count; other keys are left out.
NumberLists numberLists(const Wif& wif, std::string_view section, int count) {
    NumberLists out(count);
    const std::vector<std::string_view> values = wif.numbered(section, count);
    std::vector<long> n;
    for (int i = 1; i <= count; ++i) {
        const std::string_view v = values[static_cast<size_t>(i)];
        if (v.empty()) continue;
        n = wif.list(section, std::to_string(i), v);
        out.set(i, n);
    }
    out.finish();
    return out;
}

void readDraft(const IniFile& ini, DesignModel& d, ReadResult& r) {
    const Wif wif(ini);
    for (const char* section : {"WEAVING", "WARP", "WEFT", "THREADING"}) wif.require(section);

    const std::optional<long> warpThreads = wif.number("WARP", "Threads");
    const std::optional<long> weftThreads = wif.number("WEFT", "Threads");
    if (!warpThreads) throw Failure{"[WARP] Threads is missing"};
    if (!weftThreads) throw Failure{"[WEFT] Threads is missing"};
    const long warps = *warpThreads, wefts = *weftThreads;
    if (warps <= 0) throw Failure{"the draft has no warp ends"};
    if (wefts <= 0) throw Failure{"the draft has no picks"};
    // The whole draft or nothing: a WIF is never cut to the loom.
    if (warps > d.hw.hookCount)
        throw Failure{"the draft has " + std::to_string(warps) +
                      " warp ends, more than the loom's " + std::to_string(d.hw.hookCount) +
                      " hooks"};
    if (wefts > d.hw.maxWefts)
        throw Failure{"the draft has " + std::to_string(wefts) + " picks, more than the " +
                      std::to_string(d.hw.maxWefts) + " a design can have"};
    const int W = static_cast<int>(warps), F = static_cast<int>(wefts);

    // Use the lift plan unless a treadling and its tie-up are both there.
    const bool treadled = wif.has("TREADLING") && wif.has("TIEUP");
    const bool lifted = !treadled && wif.has("LIFTPLAN");
    if (!treadled && !lifted) {
        if (wif.has("TREADLING")) throw Failure{"the draft has a treadling but no tie-up"};
        throw Failure{"the draft has neither a treadling nor a lift plan"};
    }

    long declaredShafts = wif.number("WEAVING", "Shafts").value_or(0);
    long declaredTreadles = wif.number("WEAVING", "Treadles").value_or(0);
    const NumberLists threading = numberLists(wif, "THREADING", W);
    int treadleCount = 0;
    NumberLists tieUp(0);
    if (treadled) {
        treadleCount = static_cast<int>(std::min<long>(
            declaredTreadles > 0 ? declaredTreadles : wif.largestKey("TIEUP"), 65535));
        tieUp = numberLists(wif, "TIEUP", treadleCount);
    }
    const NumberLists picks = numberLists(wif, treadled ? "TREADLING" : "LIFTPLAN", F);
    if (treadled && declaredTreadles <= 0)
        treadleCount = std::max(treadleCount, std::min(picks.largest(), 65535));
    // Without a number of shafts, the largest shaft the draft names.
    const int largestShaft =
        std::max({threading.largest(), tieUp.largest(), treadled ? 0 : picks.largest()});
    const int shafts =
        static_cast<int>(std::min<long>(declaredShafts > 0 ? declaredShafts : largestShaft, 65535));
    if (shafts == 0) throw Failure{"the draft names no shafts"};
    // Shafts beyond the largest one named are never raised.
    const int named = std::min(shafts, largestShaft);

    // The shafts each pick raises: its treadles' tie-ups, or its lift plan
    // line; numbers beyond the draft's shafts and treadles are left out.
    ShaftSets raised(F + 1, named);
    ShaftSets treadleShafts(treadleCount + 1, named);
    bool combined = lifted;
    if (treadled) {
        for (int t = 1; t <= treadleCount; ++t)
            for (const int* s = tieUp.begin(t); s != tieUp.end(t); ++s)
                if (*s <= named) treadleShafts.add(t, *s);
        for (int i = 1; i <= F; ++i) {
            int used = 0;
            for (const int* t = picks.begin(i); t != picks.end(i); ++t) {
                if (*t > treadleCount) continue;
                raised.merge(i, treadleShafts, *t);
                ++used;
            }
            // A pick on several treadles: the controller of a shaft loom takes
            // one treadle a pick, so each combination becomes a treadle of its own.
            if (used > 1) combined = true;
        }
    } else {
        for (int i = 1; i <= F; ++i)
            for (const int* s = picks.begin(i); s != picks.end(i); ++s)
                if (*s <= named) raised.add(i, *s);
    }

    d.header = DesignHeader{};
    d.header.set(Slot::warps, static_cast<uint16_t>(W));
    d.header.set(Slot::wefts, static_cast<uint16_t>(F));
    if (!d.allocateMatrix()) {
        r.tell(BoxKind::Information, "Insufficient memory.");
        throw Failure{""};
    }

    // Drawdown, rising shed: warp end i (bit W - i) is lifted in a pick when
    // any of its shafts is raised. Picks raising the same shafts share a row.
    std::unordered_map<std::string_view, int> rowOfSet;
    for (int i = 1; i <= F; ++i) {
        uint8_t* row = d.matrix.row(RowNo{F - i});
        const auto [it, fresh] = rowOfSet.emplace(raised.key(i), i);
        if (!fresh) {
            const uint8_t* same = d.matrix.row(RowNo{F - it->second});
            std::copy(same, same + (W + 7) / 8, row);
            continue;
        }
        if (raised.empty(i)) continue;
        for (int e = 1; e <= W; ++e) {
            for (const int* s = threading.begin(e); s != threading.end(e); ++s) {
                if (*s <= named && raised.has(i, *s)) {
                    const int x = W - e;
                    row[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
                    break;
                }
            }
        }
    }

    // The shaft draft, for the shaft view and the shaft loom: tie-up and
    // treadling as the file has them, or one treadle for each distinct set of
    // shafts of a lift plan or of a pick on several treadles.
    const ShaftSets* tieSets = &treadleShafts;
    std::vector<int> setOfTreadle;  // treadle t (from 0) ties the shafts of this set
    std::vector<int> treadleOfPick(static_cast<size_t>(F) + 1, -1);
    if (combined) {
        std::unordered_map<std::string_view, int> seen;
        tieSets = &raised;
        for (int i = 1; i <= F; ++i) {
            if (raised.empty(i)) continue;  // a pick that raises nothing uses no treadle
            const auto [it, fresh] =
                seen.emplace(raised.key(i), static_cast<int>(setOfTreadle.size()));
            if (fresh) setOfTreadle.push_back(i);
            treadleOfPick[static_cast<size_t>(i)] = it->second;
        }
    } else {
        for (int t = 1; t <= treadleCount; ++t) setOfTreadle.push_back(t);
    }
    int treadles = static_cast<int>(setOfTreadle.size());
    if (lifted && declaredTreadles > treadles && declaredTreadles <= kMaxDraftTreadles)
        treadles = static_cast<int>(declaredTreadles);
    if (shafts > kMaxDraftShafts || treadles > kMaxDraftTreadles) {
        r.tell(BoxKind::Information,
               "This draft has " + std::to_string(shafts) + " shafts and " +
                   std::to_string(treadles) +
                   " treadles: its drawdown is loaded without the shaft draft.");
        return;
    }
    d.header.set(Slot::shafts, static_cast<uint16_t>(shafts));
    d.header.set(Slot::treadles, static_cast<uint16_t>(treadles));
    // Tie-up and treadle list: the layout the shaft loom's controller reads.
    d.header.set(Slot::loom, kLoomCountermarche);
    d.draft.threading.assign(static_cast<size_t>(W), 0);
    for (int e = 1; e <= W; ++e)
        for (const int* s = threading.begin(e); s != threading.end(e); ++s)
            if (*s <= shafts) {
                d.draft.threading[static_cast<size_t>(W - e)] = static_cast<uint8_t>(*s - 1);
                break;
            }
    const size_t shaftBytes = static_cast<size_t>((shafts + 7) / 8);
    d.draft.tieUp.assign(static_cast<size_t>(treadles) * shaftBytes, 0);
    for (size_t t = 0; t < setOfTreadle.size(); ++t)
        for (int s = 1; s <= named; ++s)
            if (tieSets->has(setOfTreadle[t], s))
                d.draft.tieUp[t * shaftBytes + static_cast<size_t>((s - 1) / 8)] |=
                    static_cast<uint8_t>(1u << ((s - 1) % 8));
    d.draft.treadling.assign(static_cast<size_t>(treadles) * static_cast<size_t>((F + 7) / 8), 0);
    // WIF pick i is pick number i, lift-matrix row F - i.
    for (int i = 1; i <= F; ++i) {
        if (combined) {
            if (treadleOfPick[static_cast<size_t>(i)] >= 0)
                d.setTreadlingBit(treadleOfPick[static_cast<size_t>(i)], RowNo{F - i}, true);
            continue;
        }
        for (const int* t = picks.begin(i); t != picks.end(i); ++t)
            if (*t <= treadles) d.setTreadlingBit(*t - 1, RowNo{F - i}, true);
    }
}

}  // namespace

ReadResult WifReader::read(const uint8_t* data, size_t size, DesignModel& d,
                           const ReadOptions&) const {
    ReadResult r;
    IniFile ini;
    ini.parse(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        readDraft(ini, d, r);
        const Wif wif(ini);
        const Palette p = readPalette(wif, ini);
        const int W = d.header.warps(), F = d.header.wefts();
        d.warpColours = threadColours(wif, ini, p, "WARP", "WARP COLORS", W, kDefaultWarpColour);
        d.weftColours = threadColours(wif, ini, p, "WEFT", "WEFT COLORS", F, kDefaultWeftColour);
        d.weftColourNumbers.assign(static_cast<size_t>(F), 0);
    } catch (const Failure& f) {
        d.releaseDesign();
        return r.failed(f.why);
    }
    return r;
}

}  // namespace wp
