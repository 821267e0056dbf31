#include "cli/command.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "app/session.h"
#include "cli/terminalui.h"
#include "import/formats.h"
#include "import/load.h"

namespace wp {

CLI::App& CommandSet::add(const std::string& name, const std::string& description,
                          CommandAction action) {
    CLI::App* sub = app_.add_subcommand(name, description);
    commands_.push_back({sub, std::move(action)});
    return *sub;
}

bool CommandSet::isCommand(const std::string& name) const {
    for (const Entry& e : commands_)
        if (e.app->get_name() == name) return true;
    return false;
}

int CommandSet::run(CliContext& ctx) const {
    for (const Entry& e : commands_)
        if (e.app->parsed()) return e.action(ctx);
    return 2;
}

std::function<std::string(const std::string&)> designTypeCheck() {
    return [](const std::string& t) -> std::string {
        if (designTypeOfExtension(t)) return {};
        return "unknown design type '" + t + "' (dob, imp, dw1, bmp, tif, jpg, wif)";
    };
}

bool loadDesign(CliContext& ctx, const std::string& path, bool resetController) {
    const std::optional<FileType> type =
        ctx.type.empty() ? designTypeOfPath(path) : designTypeOfExtension(ctx.type);
    if (!type) {
        std::cerr << "weavepilot-cli: unknown design type for " << path << " (use --type)\n";
        return false;
    }
    ctx.ui.setChosenFile(path);
    DesignLoader loader(ctx.session);
    loader.resetController = resetController;
    return loader.openCommand(*type);
}

}  // namespace wp
