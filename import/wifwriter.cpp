#include "import/wifwriter.h"

namespace wp {
namespace {

std::string joined(const std::vector<int>& v) {
    std::string s;
    for (int x : v) {
        if (!s.empty()) s += ',';
        s += std::to_string(x);
    }
    return s;
}

class Out {
public:
    void section(const std::string& name) {
        if (!text.empty()) text += "\r\n";
        text += "[" + name + "]\r\n";
    }
    void entry(const std::string& key, const std::string& value) {
        text += key + "=" + value + "\r\n";
    }
    void entry(const std::string& key, int value) { entry(key, std::to_string(value)); }
    std::string text;
};

}  // namespace

std::string writeWif(const WifDraft& d) {
    const bool palette = !d.colours.empty();
    const bool warpColours = palette && d.warpColourOf;
    const bool weftColours = palette && d.weftColourOf;
    const char* yes = "true";
    const char* no = "false";
    Out o;
    o.section("WIF");
    o.entry("Version", "1.1");
    o.entry("Date", "April 20, 1997");
    o.entry("Developers", "wif@mhsoft.com");
    o.entry("Source Program", d.sourceProgram);
    o.section("CONTENTS");
    o.entry("COLOR PALETTE", palette ? yes : no);
    o.entry("TEXT", yes);
    o.entry("WEAVING", yes);
    o.entry("WARP", yes);
    o.entry("WEFT", yes);
    o.entry("COLOR TABLE", palette ? yes : no);
    o.entry("THREADING", yes);
    o.entry("TIEUP", d.treadling ? yes : no);
    o.entry("TREADLING", d.treadling ? yes : no);
    o.entry("LIFTPLAN", d.liftPlan ? yes : no);
    o.entry("WARP COLORS", warpColours ? yes : no);
    o.entry("WEFT COLORS", weftColours ? yes : no);
    o.section("TEXT");
    o.entry("Title", "Weave Pilot example");
    o.section("WEAVING");
    o.entry("Shafts", d.shafts);
    o.entry("Treadles", d.treadles);
    o.entry("Rising Shed", yes);
    o.section("WARP");
    o.entry("Threads", d.warps);
    if (d.warpColour) o.entry("Color", d.warpColour);
    o.entry("Units", "centimeters");
    o.entry("Spacing", "0.212");
    o.section("WEFT");
    o.entry("Threads", d.wefts);
    if (d.weftColour) o.entry("Color", d.weftColour);
    o.entry("Units", "centimeters");
    o.entry("Spacing", "0.212");
    if (palette) {
        o.section("COLOR PALETTE");
        o.entry("Form", "RGB");
        o.entry("Range", std::to_string(d.rangeLow) + "," + std::to_string(d.rangeHigh));
        o.entry("Entries", static_cast<int>(d.colours.size()));
        o.section("COLOR TABLE");
        for (size_t i = 0; i < d.colours.size(); ++i)
            o.entry(std::to_string(i + 1),
                    joined({d.colours[i][0], d.colours[i][1], d.colours[i][2]}));
    }
    if (warpColours) {
        o.section("WARP COLORS");
        for (int e = 1; e <= d.warps; ++e)
            if (const int c = d.warpColourOf(e); c != d.warpColour) o.entry(std::to_string(e), c);
    }
    if (weftColours) {
        o.section("WEFT COLORS");
        for (int p = 1; p <= d.wefts; ++p)
            if (const int c = d.weftColourOf(p); c != d.weftColour) o.entry(std::to_string(p), c);
    }
    o.section("THREADING");
    for (int e = 1; e <= d.warps; ++e)
        if (d.threading) {
            const std::vector<int> s = d.threading(e);
            if (!s.empty()) o.entry(std::to_string(e), joined(s));
        }
    if (d.treadling) {
        o.section("TIEUP");
        for (int t = 1; t <= d.treadles; ++t)
            if (d.tieUp) {
                const std::vector<int> s = d.tieUp(t);
                if (!s.empty()) o.entry(std::to_string(t), joined(s));
            }
        o.section("TREADLING");
        for (int p = 1; p <= d.wefts; ++p) {
            const std::vector<int> t = d.treadling(p);
            if (!t.empty()) o.entry(std::to_string(p), joined(t));
        }
    }
    if (d.liftPlan) {
        o.section("LIFTPLAN");
        for (int p = 1; p <= d.wefts; ++p) {
            const std::vector<int> s = d.liftPlan(p);
            if (!s.empty()) o.entry(std::to_string(p), joined(s));
        }
    }
    return o.text;
}

}  // namespace wp
