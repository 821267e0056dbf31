#pragma once

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace wp {

class Session;
class TerminalUI;

// What a command gets when it runs: the session and the terminal user built
// from the options every command shares.
struct CliContext {
    Session& session;
    TerminalUI& ui;
    std::string type;  // --type; empty: by the file's extension
};

using CommandAction = std::function<int(CliContext&)>;

// The commands of weavepilot-cli. Each command lives in its own file with a
// registration function that adds its subcommand and options here.
class CommandSet {
public:
    explicit CommandSet(CLI::App& app) : app_(app) {}

    // Adds a subcommand whose action runs when it is the command given.
    CLI::App& add(const std::string& name, const std::string& description, CommandAction action);
    bool isCommand(const std::string& name) const;
    // Runs the action of the command on the command line.
    int run(CliContext& ctx) const;

private:
    struct Entry {
        CLI::App* app;
        CommandAction action;
    };
    CLI::App& app_;
    std::vector<Entry> commands_;
};

// One line each in main.cpp.
void addConfigCommand(CommandSet& commands);
void addInfoCommand(CommandSet& commands);
void addRenderCommand(CommandSet& commands);
void addWeaveCommand(CommandSet& commands);
void addDownloadCommand(CommandSet& commands);
void addSelfTestCommand(CommandSet& commands);
void addFloatsCommand(CommandSet& commands);
void addColoursCommand(CommandSet& commands);

// Validates a --type value.
std::function<std::string(const std::string&)> designTypeCheck();

// Loads the design at path through the File menu's open command, the reader
// chosen by --type or else by the extension. False when nothing was loaded
// (the reason has been printed).
bool loadDesign(CliContext& ctx, const std::string& path, bool resetController);

}  // namespace wp
