// weavepilot-cli colours FILE --weft|--warp: the colour dialog's OK from the
// command line, printing the colours that result.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/session.h"
#include "cli/command.h"
#include "cli/terminalui.h"
#include "import/load.h"
#include "tools/colours.h"
#include "tools/coloursfile.h"

namespace wp {
namespace {

struct ColoursOptions {
    std::string file;
    bool weft = false;
    bool warp = false;
    std::optional<int> count;
    std::vector<std::string> palette;
    std::optional<std::string> layout;
    bool writeColours = false;
};

// RRGGBB, red first, as 0x00BBGGRR.
std::optional<uint32_t> parseColour(const std::string& text) {
    if (text.size() != 6) return std::nullopt;
    uint32_t rgb = 0;
    for (char c : text) {
        const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                  : -1;
        if (v < 0) return std::nullopt;
        rgb = rgb << 4 | static_cast<uint32_t>(v);
    }
    return (rgb >> 16) | (rgb & 0x00FF00) | (rgb & 0xFF) << 16;
}

std::string colourText(uint32_t bgr) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                  (bgr >> 16) & 0xFF);
    return text;
}

template <class T, class F>
void printList(const char* name, const std::vector<T>& v, size_t n, F f) {
    std::cout << name << '=';
    for (size_t i = 0; i < n && i < v.size(); ++i) std::cout << (i ? "," : "") << f(v[i]);
    std::cout << '\n';
}

int colours(CliContext& ctx, const ColoursOptions& o) {
    std::vector<uint32_t> given;
    for (const std::string& c : o.palette) {
        const auto colour = parseColour(c);
        if (!colour) {
            std::cerr << "weavepilot-cli: --palette: '" << c << "' is not a colour RRGGBB\n";
            return 2;
        }
        given.push_back(*colour);
    }
    Session& s = ctx.session;
    s.loadSettings(false);
    ColourPalettes palettes;
    s.setColoursFileReader([&s, &palettes](const std::string& path) {
        return readColoursFile(path, s.design(), palettes).ok();
    });
    if (!loadDesign(ctx, o.file, false)) return 1;
    DesignModel& d = s.design();

    ColourLayoutEditor editor(o.weft ? ColourTarget::Weft : ColourTarget::Warp);
    editor.load(palettes);
    for (size_t k = 0; k < given.size(); ++k) editor.setSlot(static_cast<int>(k) + 1, given[k]);
    editor.setPaletteSize(o.count.value_or(static_cast<int>(given.size())));
    editor.setLayoutText(o.layout.value_or(""));
    if (!editor.apply(d, palettes, ctx.ui)) return 1;

    const auto hex = [](uint32_t c) { return colourText(c); };
    if (o.weft) {
        const size_t n = static_cast<size_t>(d.header.wefts());
        printList("weftColours", d.weftColours, n, hex);
        printList("weftNumbers", d.weftColourNumbers, n, [](uint16_t v) { return v; });
    } else {
        printList("warpColours", d.warpColours, static_cast<size_t>(d.header.warps()), hex);
    }
    if (o.writeColours) {
        const std::string path = coloursFileName(d.designFileName);
        std::string error;
        if (!writeColoursFile(path, d, error)) {
            std::cerr << "weavepilot-cli: cannot write " << error << '\n';
            return 1;
        }
    }
    return 0;
}

}  // namespace

void addColoursCommand(CommandSet& commands) {
    auto o = std::make_shared<ColoursOptions>();
    CLI::App& cmd = commands.add(
        "colours",
        "colour the picks (--weft) or the warp ends (--warp) as the colour dialog's OK does, "
        "and print the colours",
        [o](CliContext& ctx) { return colours(ctx, *o); });
    cmd.add_option("FILE", o->file, "the design file")->required();
    CLI::Option* weft = cmd.add_flag("--weft", o->weft, "colour the picks");
    CLI::Option* warp = cmd.add_flag("--warp", o->warp, "colour the warp ends");
    weft->excludes(warp);
    cmd.add_option("--count", o->count,
                   "palette colours in use, 0 to 16 (default: the number of --palette colours)")
        ->check(CLI::Range(0, kPaletteSlots));
    cmd.add_option("--palette", o->palette, "palette slots 1, 2, ... as RRGGBB, red first")
        ->delimiter(',')
        ->check([](const std::string& c) {
            return parseColour(c) ? std::string() : "'" + c + "' is not a colour RRGGBB";
        });
    cmd.add_option("--layout", o->layout, "layout of palette numbers, groups and repeat counts");
    cmd.add_flag("--write-colours", o->writeColours,
                 "also write the design's colours file beside it");
    cmd.callback([weft, warp] {
        if (weft->count() == 0 && warp->count() == 0) throw CLI::RequiredError("--weft or --warp");
    });
}

}  // namespace wp
