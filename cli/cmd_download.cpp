// weavepilot-cli download [FILE]: the controller's firmware through its loader.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "app/maintenance.h"
#include "cli/command.h"
#include "cli/terminalui.h"

namespace wp {
namespace {

int download(CliContext& ctx, const std::string& file) {
    Session& s = ctx.session;
    s.loadSettings(true);
    if (!s.driver() || !s.driver()->traits().hasFirmware) {
        std::cerr << "weavepilot-cli: this loom type has no firmware to download\n";
        return 1;
    }
    // Nothing can be sent without the port; why has been said.
    if (!s.driver()->portOpen()) return 1;
    WeavingRun run(s);
    FirmwareDownload dl(s, run);
    const bool ok = file.empty() ? dl.LoadHex1Click() : dl.download(file, file);
    return ok ? 0 : 1;
}

}  // namespace

void addDownloadCommand(CommandSet& commands) {
    auto file = std::make_shared<std::string>();
    CLI::App& cmd = commands.add(
        "download",
        "send the controller's firmware (an Intel HEX file, checked first) to the configured "
        "port; prints the progress in percent; exit 0 when the download succeeded",
        [file](CliContext& ctx) { return download(ctx, *file); });
    cmd.add_option("FILE", *file,
                   "the firmware file (default: Hexfile of the settings, looked for beside the "
                   "settings file, then in the program's data folder)");
}

}  // namespace wp
