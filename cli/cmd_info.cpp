// weavepilot-cli info FILE: what a load put into the design model.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <set>

#include "app/session.h"
#include "cli/command.h"
#include "import/formats.h"

namespace wp {
namespace {

size_t distinct(const std::vector<uint32_t>& v) {
    return std::set<uint32_t>(v.begin(), v.end()).size();
}

int info(CliContext& ctx, const std::string& file) {
    Session& s = ctx.session;
    s.loadSettings(false);
    if (!loadDesign(ctx, file, false)) return 1;
    const DesignModel& d = s.design();
    std::cout << "file=" << d.designFileName << '\n'
              << "type=" << designTypeName(d.designFileType) << '\n';
    for (int i = 0; i < kHeaderSlots; ++i)
        std::cout << slotKey(static_cast<Slot>(i)) << '=' << d.header.words[static_cast<size_t>(i)]
                  << '\n';
    std::cout << "rowBlocks=" << d.matrix.blockCount() << '\n'
              << "rowModules=" << d.matrix.rowModules() << '\n'
              << "designReady=" << (d.designReady ? 1 : 0) << '\n'
              << "shaftDraft=" << (d.shaftDraftAvailable ? 1 : 0) << '\n'
              << "threading=" << d.draft.threading.size() << '\n'
              << "tieUpBytes=" << d.draft.tieUp.size() << '\n'
              << "treadlingBytes=" << d.draft.treadling.size() << '\n'
              << "warpColours=" << distinct(d.warpColours) << '\n'
              << "weftColours=" << distinct(d.weftColours) << '\n';
    int maxNumber = 0;
    for (uint16_t n : d.weftColourNumbers) maxNumber = std::max<int>(maxNumber, n);
    std::cout << "weftColourNumbers=" << maxNumber << '\n';
    return 0;
}

}  // namespace

void addInfoCommand(CommandSet& commands) {
    auto file = std::make_shared<std::string>();
    CLI::App& cmd = commands.add("info",
                                 "load a design and print its header slots, row blocks, "
                                 "readiness, colours and shaft draft",
                                 [file](CliContext& ctx) { return info(ctx, *file); });
    cmd.add_option("FILE", *file, "the design file")->required();
}

}  // namespace wp
