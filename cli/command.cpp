#include "cli/command.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <iostream>

#include "app/session.h"
#include "cli/terminalui.h"
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

namespace {

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool fileTypeOf(const std::string& path, const std::string& given, FileType& type) {
    std::string t = lower(given);
    if (t.empty()) {
        const size_t dot = path.find_last_of('.');
        t = dot == std::string::npos ? "" : lower(path.substr(dot + 1));
    }
    if (t == "dob" || t == "ctm")
        type = FileType::Native;
    else if (t == "imp")
        type = FileType::Imp;
    else if (t == "dw1" || t == "dw")
        type = FileType::Dw1;
    else if (t == "bmp")
        type = FileType::Bmp;
    else if (t == "tif" || t == "tiff")
        type = FileType::Tiff;
    else if (t == "jpg" || t == "jpeg")
        type = FileType::Jpeg;
    else if (t == "wif")
        type = FileType::Wif;
    else
        return false;
    return true;
}

}  // namespace

std::function<std::string(const std::string&)> designTypeCheck() {
    return [](const std::string& t) -> std::string {
        FileType type;
        if (fileTypeOf("", t, type)) return {};
        return "unknown design type '" + t + "' (dob, imp, dw1, bmp, tif, jpg, wif)";
    };
}

bool loadDesign(CliContext& ctx, const std::string& path, bool resetController) {
    FileType type;
    if (!fileTypeOf(path, ctx.type, type)) {
        std::cerr << "weavepilot-cli: unknown design type for " << path << " (use --type)\n";
        return false;
    }
    ctx.ui.setChosenFile(path);
    DesignLoader loader(ctx.session);
    loader.resetController = resetController;
    return loader.openCommand(type);
}

}  // namespace wp
