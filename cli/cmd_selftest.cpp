// weavepilot-cli selftest: the controller's self-test and its report.
#include <CLI/CLI.hpp>

#include <csignal>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/maintenance.h"
#include "cli/command.h"
#include "cli/terminalui.h"

namespace wp {
namespace {

void onSigint(int) {
    TerminalUI::interrupted = true;
}

// The date as the system's short form writes it.
std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::ostringstream out;
    out << std::put_time(&tm, "%x");
    return out.str();
}

int selftest(CliContext& ctx, const std::string& saveTo) {
    Session& s = ctx.session;
    s.loadSettings(true);
    WeavingRun run(s);
    SelfTestRun test(s, run);
    if (!test.offered()) {
        std::cerr << "weavepilot-cli: the self-test needs a JX3 controller\n";
        return 1;
    }
    // Nothing can be asked without the port; why has been said.
    if (!s.driver()->portOpen()) return 1;
    test.onRow = [](int row, const std::string& text) {
        std::cout << "row " << row + 1 << ": " << text << std::endl;
    };
    // Ctrl-C is the window's Stop button: the controller is asked to end the test.
    ctx.ui.onInterrupt([](void* t) { static_cast<SelfTestRun*>(t)->Button2Click(); }, &test);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, onSigint);
    test.activate();
    test.Button1Click();
    if (!test.status().empty()) std::cout << test.status() << std::endl;
    const bool reported = !test.report().rows().empty();
    if (!saveTo.empty() && reported) {
        std::string error;
        if (!test.save(saveTo, today(), &error)) {
            std::cerr << "weavepilot-cli: cannot save the report: " << error << '\n';
            return 1;
        }
    }
    return reported ? 0 : 1;
}

}  // namespace

void addSelfTestCommand(CommandSet& commands) {
    auto save = std::make_shared<std::string>();
    CLI::App& cmd = commands.add(
        "selftest",
        "run the controller's self-test: prints every report row as \"row N: TEXT\" and the final "
        "status; Ctrl-C is Stop; exit 0 when the test ended with a report",
        [save](CliContext& ctx) { return selftest(ctx, *save); });
    cmd.add_option("--save", *save, "write the report to this text file, as the Save button does");
}

}  // namespace wp
