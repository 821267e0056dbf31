// weavepilot-cli floats FILE: the float analysis, and with --cut the cuts of
// the too-long floats applied to the design.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <optional>

#include "app/session.h"
#include "cli/command.h"
#include "import/load.h"
#include "model/inifile.h"
#include "tools/colours.h"
#include "tools/coloursfile.h"
#include "tools/floats.h"
#include "tools/image.h"

namespace wp {
namespace {

struct FloatsOptions {
    std::string file;
    std::string cut;  // "weft" or "warp"
    int limit = 0;
    std::optional<uint32_t> seed;
    std::string out;
    std::string save;
};

void printHistogram(const char* name, const std::vector<int>& h) {
    std::cout << name << '=';
    for (size_t k = 0; k < h.size(); ++k) std::cout << (k ? "," : "") << h[k];
    std::cout << '\n';
}

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    if (!bytes.empty() &&
        writeFileAtomically(path, std::string(bytes.begin(), bytes.end()), &error))
        return true;
    std::cerr << "weavepilot-cli: cannot write " << path << (error.empty() ? "" : ": " + error)
              << '\n';
    return false;
}

// The lift matrix as `render FILE OUT.pbm` writes it: grid row j is lift-matrix
// row j (pick 1 at the bottom), column x is bit x (warp end 1 at the right).
std::vector<uint8_t> liftPicture(const DesignModel& d) {
    const int w = d.header.warps(), h = d.header.wefts();
    std::vector<uint8_t> black(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int j = 0; j < h; ++j)
        for (int x = 0; x < w; ++x)
            black[static_cast<size_t>(j) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                d.lift(RowNo{j}, x);
    return encodePbm(w, h, black);
}

int floats(CliContext& ctx, const FloatsOptions& o) {
    Session& s = ctx.session;
    s.loadSettings(false);
    ColourPalettes palettes;
    s.setColoursFileReader([&s, &palettes](const std::string& path) {
        return readColoursFile(path, s.design(), palettes).ok();
    });
    if (!loadDesign(ctx, o.file, false)) return 1;
    DesignModel& d = s.design();
    if (!openFloatAnalysis(d)) {
        std::cerr << "weavepilot-cli: "
                  << "Insufficient memory." << '\n';
        return 1;
    }
    analyseFloats(d);
    if (o.cut.empty()) {
        std::cout << "mxweft=" << longestFloatText(d.analysis.weftHistogram) << '\n'
                  << "mxwarp=" << longestFloatText(d.analysis.warpHistogram) << '\n';
        printHistogram("weftFloats", d.analysis.weftHistogram);
        printHistogram("warpFloats", d.analysis.warpHistogram);
    } else {
        showFloats(d, o.cut == "weft" ? FloatLine::Picks : FloatLine::WarpEnds, o.limit);
        toggleCutPreview(d, o.seed ? seededDraw(*o.seed) : clockSeededDraw());
        std::cout << "cuts=" << applyCuts(d) << '\n';
        if (!write(o.out, liftPicture(d))) return 1;
    }
    if (!o.save.empty()) {
        // As the panel's Save button: the weft image, then its colours file.
        const std::string weft = weftImageName(o.save);
        if (!write(weft, encodeWeftImage(d)) || !write(coloursFileName(weft), encodeColoursFile(d)))
            return 1;
    }
    return 0;
}

}  // namespace

void addFloatsCommand(CommandSet& commands) {
    auto o = std::make_shared<FloatsOptions>();
    CLI::App& cmd = commands.add(
        "floats",
        "measure the floats of a design (the Analyse button); with --cut, cut the floats "
        "longer than --limit in one direction and write the design to --out",
        [o](CliContext& ctx) { return floats(ctx, *o); });
    cmd.add_option("FILE", o->file, "the design file")->required();
    CLI::Option* cut = cmd.add_option("--cut", o->cut, "the floats to cut: weft or warp")
                           ->check(CLI::IsMember({"weft", "warp"}));
    CLI::Option* limit = cmd.add_option("--limit", o->limit, "the longest float kept, 3 to 100")
                             ->check(CLI::Range(3, 100));
    cmd.add_option("--seed", o->seed,
                   "seed of the choice between two middle cells (default: from the clock)")
        ->needs(cut);
    CLI::Option* out =
        cmd.add_option("--out", o->out, "the design after the cuts, as a PBM picture");
    cmd.add_option("--save", o->save,
                   "also write the weft image (\".bmp\" appended when the name has no \".\") "
                   "and its colours file, as the Save button does");
    cut->needs(limit)->needs(out);
    limit->needs(cut);
    out->needs(cut);
}

}  // namespace wp
