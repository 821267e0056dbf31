// weavepilot-cli render FILE OUT: the design as the main window shows it.
#include <CLI/CLI.hpp>

#include <cctype>
#include <iostream>
#include <memory>

#include "app/session.h"
#include "cli/command.h"
#include "model/inifile.h"
#include "tools/image.h"

namespace wp {
namespace {

bool endsWithPng(const std::string& path) {
    if (path.size() <= 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

int render(CliContext& ctx, const std::string& file, const std::string& out) {
    Session& s = ctx.session;
    s.loadSettings(false);
    if (!loadDesign(ctx, file, false)) return 1;
    const DesignModel& d = s.design();
    const int w = d.header.warps(), h = d.header.wefts();
    // Grid row j is lift-matrix row j (pick 1 at the bottom); column x is bit x
    // (warp end 1 at the right).
    std::vector<uint8_t> bytes;
    if (endsWithPng(out)) {
        RgbImage img(w, h);
        for (int j = 0; j < h; ++j)
            for (int x = 0; x < w; ++x)
                img.set(x, j,
                        d.lift(RowNo{j}, x) ? d.warpColours[static_cast<size_t>(w - x - 1)]
                                            : d.weftColours[static_cast<size_t>(h - j - 1)]);
        bytes = encodePngRgb(img);
    } else {
        std::vector<uint8_t> black(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int j = 0; j < h; ++j)
            for (int x = 0; x < w; ++x)
                black[static_cast<size_t>(j) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                    d.lift(RowNo{j}, x);
        bytes = encodePbm(w, h, black);
    }
    std::string error;
    if (bytes.empty() ||
        !writeFileAtomically(out, std::string(bytes.begin(), bytes.end()), &error)) {
        std::cerr << "weavepilot-cli: cannot write " << out << (error.empty() ? "" : ": " + error)
                  << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

void addRenderCommand(CommandSet& commands) {
    auto file = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    CLI::App& cmd = commands.add(
        "render",
        "write the design as the main window shows it: OUT.pbm with lifted cells black, "
        "OUT.png in warp and weft colours",
        [file, out](CliContext& ctx) { return render(ctx, *file, *out); });
    cmd.add_option("FILE", *file, "the design file")->required();
    cmd.add_option("OUT", *out, "the picture to write (.pbm or .png)")->required();
}

}  // namespace wp
