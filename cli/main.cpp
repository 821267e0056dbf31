// weavepilot-cli: the program's core without windows, for scripts, CI and support.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "app/session.h"
#include "cli/command.h"
#include "cli/terminalui.h"
#include "model/settings.h"

namespace {

// The first bare word on the command line, skipping the values of the options
// that take one: the command the user meant.
std::string firstWord(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-') {
            const CLI::Option* opt = app.get_option_no_throw(a.substr(0, a.find('=')));
            if (opt && opt->get_items_expected_min() > 0 && a.find('=') == std::string::npos) ++i;
            continue;
        }
        return a;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace wp;
    CLI::App app{"weavepilot-cli: Weave Pilot without windows.", "weavepilot-cli"};
    app.require_subcommand(1);
    // Shared options may stand before or after the command.
    app.fallthrough();
    app.footer(
        "Every command also takes --settings PATH, --type T and --yes | --no.\n"
        "Run 'weavepilot-cli COMMAND --help' for a command's own options.");

    std::string settings, type;
    bool yes = false;
    app.add_option("--settings", settings,
                   "settings file (default: $WEAVEPILOT_SETTINGS, else "
                   "$XDG_CONFIG_HOME/weavepilot/lanset.ini)");
    app.add_option("--type", type,
                   "design type: dob, imp, dw1, bmp, tif, jpg, wif (default: by extension)")
        ->check(designTypeCheck());
    app.add_flag("--yes,!--no", yes, "answer to questions asked on the way (default: no)");

    CommandSet commands(app);
    addConfigCommand(commands);
    addInfoCommand(commands);
    addRenderCommand(commands);
    addWeaveCommand(commands);
    addDownloadCommand(commands);
    addSelfTestCommand(commands);
    addFloatsCommand(commands);
    addColoursCommand(commands);

    if (argc == 2 && std::string(argv[1]) == "help") {
        std::cout << app.help();
        return 0;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // The help of the command that asked for it, else the program's.
        const CLI::App* asked = &app;
        for (const CLI::App* sub : app.get_subcommands()) asked = sub;
        std::cout << asked->help();
        return 0;
    } catch (const CLI::ParseError& e) {
        const std::string word = firstWord(app, argc, argv);
        if (!word.empty() && !commands.isCommand(word))
            std::cerr << "weavepilot-cli: unknown command '" << word << "'\n";
        else
            std::cerr << "weavepilot-cli: " << e.what() << '\n';
        std::cerr << "Run 'weavepilot-cli --help' for the commands and their options.\n";
        return 2;
    }

    TerminalUI ui(std::cout, std::cerr, yes);
    Session session(ui, settingsPath(settings));
    session.setSettingsChosen(settingsPathChosen(settings));
    CliContext ctx{session, ui, type};
    return commands.run(ctx);
}
