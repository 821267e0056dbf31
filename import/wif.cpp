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
    // A fingerprint of the set, to find sets that are the same quickly.
    uint64_t hash(int set) const {
        uint64_t h = 1469598103934665603ull;
        for (size_t k = 0; k < words_; ++k) h = (h ^ bits_[base(set) + k]) * 1099511628211ull;
        return h;
    }
    bool same(int set, int other) const {
        return std::equal(&bits_[base(set)], &bits_[base(set)] + words_, &bits_[base(other)]);
    }

private:
    size_t base(int set) const { return static_cast<size_t>(set) * words_; }
    size_t words_;
    std::vector<uint64_t> bits_;
};

// Lists of whole numbers, list i (from 1) of a numbered section.
class NumberLists {
public:
    explicit NumberLists(int count) : begin_(static_cast<size_t>(count) + 2, 0) {
        values_.reserve(static_cast<size_t>(count));
    }
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
    const char* p = text.data();
    const char* const end = p + text.size();
    auto blanks = [&] {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
    };
    while (true) {
        blanks();
        if (p == end || *p == ';') return true;
        if (*p == ',') {
            ++p;
            continue;
        }
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        if (p == end || *p < '0' || *p > '9') return false;
        long v = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p)
            if ((v = v * 10 + (*p - '0')) > kMaxNumber) return false;
        out.push_back(negative ? -v : v);
        blanks();
        if (p == end || *p == ';') return true;
        if (*p++ != ',') return false;
    }
}

// A numbered key: 1 to 9 decimal digits.
std::optional<int> parseKey(std::string_view key) {
    if (key.empty() || key.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Calls f(key, value), both trimmed, for each key=value line of a section as
// the profile-file rules read it; a tight walk for sections of thousands of lines.
template <typename F>
void eachEntryOf(const IniFile& ini, std::string_view section, F f) {
    for (const std::string_view text : ini.sectionTexts(section)) {
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            const char* eol = p;
            while (eol < end && *eol != '\n') ++eol;
            std::string_view line = trimmed(std::string_view(p, static_cast<size_t>(eol - p)));
            p = eol + 1;
            if (!line.empty() && line.back() == '\r')
                line = trimmed(line.substr(0, line.size() - 1));
            if (line.empty() || line[0] == ';' || line[0] == '#') continue;
            size_t eq = 0;
            while (eq < line.size() && line[eq] != '=') ++eq;
            if (eq == line.size()) continue;
            f(trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)));
        }
    }
}

class Wif {
public:
    explicit Wif(const IniFile& ini) : ini_(ini) {}

    // Whether the file carries a section: as its [CONTENTS] says ("true",
    // "yes", "on", "1" in any case) when it says, and the section is there.
    template <typename F>
    void eachEntry(std::string_view section, F f) const {
        eachEntryOf(ini_, section, f);
    }

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
        if (has(section)) return;
        if (ini_.hasSection(section))
            throw Failure{"its [CONTENTS] section marks the [" + std::string(section) +
                          "] section as absent"};
        throw Failure{"the file has no [" + std::string(section) + "] section"};
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
        list(section, key, value, n);
        return n;
    }
    // The same into a list kept between calls; a numbered key is named only
    // when it is wrong.
    void list(std::string_view section, int key, std::string_view value,
              std::vector<long>& out) const {
        if (!parseList(value, out)) throw notNumbers(section, std::to_string(key), value);
    }
    void list(std::string_view section, std::string_view key, std::string_view value,
              std::vector<long>& out) const {
        if (!parseList(value, out)) throw notNumbers(section, key, value);
    }

    // Values of the keys 1..count of a section; the first of a key given twice wins.
    std::vector<std::string_view> numbered(std::string_view section, int count) const {
        std::vector<std::string_view> out(static_cast<size_t>(count) + 1);
        std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
        eachEntry(section, [&](std::string_view key, std::string_view value) {
            const auto k = parseKey(key);
            if (!k || *k < 1 || *k > count || seen[static_cast<size_t>(*k)]) return;
            seen[static_cast<size_t>(*k)] = true;
            out[static_cast<size_t>(*k)] = value;
        });
        return out;
    }
    // Calls f(key, value) for the keys 1..count in file order, the first of a
    // key given twice winning; false as soon as a key comes after a larger
    // one (f is not called from there on).
    template <typename F>
    bool inKeyOrder(std::string_view section, int count, F f) const {
        int last = 0;
        bool ordered = true;
        eachEntry(section, [&](std::string_view key, std::string_view value) {
            const auto k = parseKey(key);
            if (!ordered || !k || *k < 1 || *k > count || *k == last) return;
            if (*k < last) {
                ordered = false;
                return;
            }
            last = *k;
            f(*k, value);
        });
        return ordered;
    }
    // The largest key of a section (0 when it has none).
    int largestKey(std::string_view section) const {
        int most = 0;
        eachEntry(section, [&](std::string_view key, std::string_view) {
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
        std::vector<long> n;
        wif.list("COLOR TABLE", i, v, n);
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
    std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
    std::vector<long> n;
    wif.eachEntry(coloursSection, [&](std::string_view key, std::string_view v) {
        const auto k = parseKey(key);
        if (!k || *k < 1 || *k > count || seen[static_cast<size_t>(*k)]) return;
        seen[static_cast<size_t>(*k)] = true;
        if (v.empty()) return;
        wif.list(coloursSection, *k, v, n);
        if (n.size() != 1) return;
        if (const auto c = p.entry(n[0])) out[static_cast<size_t>(*k - 1)] = *c;
    });
    return out;
}

// The lists of a numbered section, keys 1..count; other keys are left out.
NumberLists numberLists(const Wif& wif, std::string_view section, int count) {
    std::vector<long> n;
    {
        // Files list their keys in order: one walk then does.
        NumberLists out(count);
        if (wif.inKeyOrder(section, count, [&](int k, std::string_view v) {
                if (v.empty()) return;
                wif.list(section, k, v, n);
                out.set(k, n);
            })) {
            out.finish();
            return out;
        }
    }
    NumberLists out(count);
    const std::vector<std::string_view> values = wif.numbered(section, count);
    for (int i = 1; i <= count; ++i) {
        const std::string_view v = values[static_cast<size_t>(i)];
        if (v.empty()) continue;
        wif.list(section, i, v, n);
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
                      std::to_string(d.hw.maxWefts) + " a design can have; to load it, raise " +
                      "chunksize (now " + std::to_string(d.hw.chunksize) +
                      ") in the [Mirlo] section of the settings file: a design may have " +
                      "chunksize x 100 picks"};
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
    int treadleCount = 0, tiedTreadles = 0;
    NumberLists tieUp(0);
    // A draft that names more shafts or treadles than it declares is read with
    // all it names, and the weaver is told: left out, they would leave picks
    // blank that the file does not.
    if (treadled) {
        const long tieUpKeys = wif.largestKey("TIEUP");
        tiedTreadles =
            static_cast<int>(std::min<long>(std::max(declaredTreadles, tieUpKeys), 65535));
        tieUp = numberLists(wif, "TIEUP", tiedTreadles);
        treadleCount = tiedTreadles;
    }
    const NumberLists picks = numberLists(wif, treadled ? "TREADLING" : "LIFTPLAN", F);
    if (treadled) treadleCount = std::max(treadleCount, std::min(picks.largest(), 65535));
    if (treadled && declaredTreadles > 0 && treadleCount > declaredTreadles)
        r.tell(BoxKind::Information, "The draft declares " + std::to_string(declaredTreadles) +
                                         " treadles but uses treadles up to " +
                                         std::to_string(treadleCount) +
                                         ": it is read with all of them.");
    const int largestShaft =
        std::max({threading.largest(), tieUp.largest(), treadled ? 0 : picks.largest()});
    if (declaredShafts > 0 && largestShaft > declaredShafts) {
        r.tell(BoxKind::Information, "The draft declares " + std::to_string(declaredShafts) +
                                         " shafts but uses shafts up to " +
                                         std::to_string(largestShaft) +
                                         ": it is read with all of them.");
        declaredShafts = largestShaft;
    }
    // Without a number of shafts, the largest shaft the draft names.
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
        // The treadling may name treadles the tie-up does not have: those
        // raise nothing.
        for (int t = 1; t <= tiedTreadles; ++t)
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
    std::unordered_map<uint64_t, int> rowOfSet;  // fingerprint: the first pick with it
    for (int i = 1; i <= F; ++i) {
        uint8_t* row = d.matrix.row(RowNo{F - i});
        const uint64_t h = raised.hash(i);
        if (const auto it = rowOfSet.find(h); it != rowOfSet.end() && raised.same(i, it->second)) {
            const uint8_t* same = d.matrix.row(RowNo{F - it->second});
            std::copy(same, same + (W + 7) / 8, row);
            continue;
        }
        rowOfSet.emplace(h, i);
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
        // Fingerprint: the treadles of the sets with it.
        std::unordered_multimap<uint64_t, int> seen;
        tieSets = &raised;
        for (int i = 1; i <= F; ++i) {
            if (raised.empty(i)) continue;  // a pick that raises nothing uses no treadle
            const uint64_t h = raised.hash(i);
            int treadle = -1;
            for (auto [it, end] = seen.equal_range(h); it != end; ++it)
                if (raised.same(i, setOfTreadle[static_cast<size_t>(it->second)]))
                    treadle = it->second;
            if (treadle < 0) {
                treadle = static_cast<int>(setOfTreadle.size());
                seen.emplace(h, treadle);
                setOfTreadle.push_back(i);
            }
            treadleOfPick[static_cast<size_t>(i)] = treadle;
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
