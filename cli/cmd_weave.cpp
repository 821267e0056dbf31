// weavepilot-cli weave FILE: weaves the design on the configured port.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>

#include "app/lifecycle.h"
#include "app/run.h"
#include "app/session.h"
#include "cli/command.h"
#include "cli/terminalui.h"

namespace wp {
namespace {

struct WeaveOptions {
    std::string file;
    int from = 0, to = 0, resume = 0;
    bool reverse = false, loop = false, tabby = false, direct = false, resumeJournal = false;
};

void onSigint(int) {
    TerminalUI::interrupted = true;
}

int weave(CliContext& ctx, const WeaveOptions& o) {
    Session& s = ctx.session;
    std::optional<JournalEntry> journal;
    if (o.resumeJournal) {
        // Said before the port is tried: without a journal there is nothing to go on with.
        journal = s.journal().read();
        if (!journal) {
            std::cerr << "weavepilot-cli: no weaving journal (" << s.journal().path() << ")\n";
            return 1;
        }
    }
    s.loadSettings(true);
    // Nothing can be woven without the port; why has been said.
    if (s.driver() && !s.driver()->portOpen()) return 1;
    WeavingRun run(s);
    run.applyCaptions();
    if (journal) {
        if (!Lifecycle(s).continueFromJournal(*journal)) return 1;
    } else if (o.file.empty()) {
        std::cerr << "weavepilot-cli: weave needs a design FILE or --resume-journal\n";
        return 2;
    } else if (!loadDesign(ctx, o.file, true)) {
        return 1;
    }
    DesignModel& d = s.design();
    if (!d.designReady) {
        std::cerr << "weavepilot-cli: the design cannot be woven on this loom\n";
        return 1;
    }
    const int wefts = d.header.wefts();
    if (journal) {
        // The journal's range and direction, with the range's ends as given.
        if (o.from > 0) s.window().setStartWeft(o.from);
        if (o.to > 0) s.window().setEndWeft(o.to);
        const RunPanel& panel = s.window().panel();
        const int next = nextPickInRange(journal->pick, panel.startWeft, panel.endWeft,
                                         journal->reverse, journal->loop);
        if (next == 0) {
            std::cout << "pick " << journal->pick << " of " << journal->designFile
                      << " was the last of its range: nothing is left to weave" << std::endl;
            s.journal().remove();
            return 0;
        }
        s.window().setNextWeft(next);
    } else {
        if (o.to > wefts)
            std::cerr << "weavepilot-cli: the design has " << wefts << " picks: weaving to pick "
                      << wefts << "\n";
        s.window().setStartWeft(std::min(o.from > 0 ? o.from : 1, wefts));
        s.window().setEndWeft(std::min(o.to > 0 ? o.to : wefts, wefts));
        // Without --resume the run resumes where its direction begins; a pick
        // outside the range is the run's to refuse.
        const RunPanel& panel = s.window().panel();
        s.window().setNextWeft(o.resume > 0 ? o.resume
                               : o.reverse  ? panel.endWeft
                                            : panel.startWeft);
        s.window().setChecked(Control::ReverseBox, o.reverse);
        s.window().setChecked(Control::LoopCheck, o.loop);
        s.window().setChecked(Control::TabbyCheck, o.tabby);
    }

    // Without Loop the weaver presses Stop once the last pick is woven; the
    // command line does it for them.
    const bool loop = s.window().checked(Control::LoopCheck);
    const int last = s.window().checked(Control::ReverseBox) ? s.window().panel().startWeft
                                                             : s.window().panel().endWeft;
    run.onPickWoven = [&](int pick) {
        std::cout << "pick " << pick << std::endl;
        if (!loop && pick == last) run.StopButtonClick();
    };
    ctx.ui.onInterrupt([](void* r) { static_cast<WeavingRun*>(r)->StopButtonClick(); }, &run);
    // A terminal closed, a logout or a plain kill stop the run as Ctrl-C
    // does: the loom is told, and the picks it wove are counted.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, onSigint);

    if (o.resume > 0 || o.direct || journal)
        run.ResumeButtonClick();
    else
        run.StartButtonClick();
    std::cout << "current pick " << d.currentPick << std::endl;
    // The program ends cleanly: the journal of this weave has served its turn.
    if (s.journal().recorded() || journal) s.journal().remove();
    return s.runState() == RunState::Idle ? 0 : 1;
}

}  // namespace

void addWeaveCommand(CommandSet& commands) {
    auto o = std::make_shared<WeaveOptions>();
    CLI::App& cmd = commands.add(
        "weave",
        "weave the design on the configured port: prints \"pick N\" for every pick the loom "
        "reports woven and \"current pick N\" at the end; Ctrl-C is Stop",
        [o](CliContext& ctx) { return weave(ctx, *o); });
    cmd.add_option("FILE", o->file, "the design file (not with --resume-journal)");
    const auto pick = CLI::Range(1, 65535);
    cmd.add_option("--from", o->from, "Start weft (default: 1)")->check(pick);
    cmd.add_option("--to", o->to, "End weft (default: the last pick)")->check(pick);
    cmd.add_flag("--reverse", o->reverse, "weave from End weft back to Start weft");
    cmd.add_flag("--loop", o->loop, "repeat the range until Ctrl-C");
    cmd.add_flag("--tabby", o->tabby, "weave plain tabby instead of the design");
    cmd.add_option("--resume", o->resume, "start with Resume at pick N")->check(pick);
    cmd.add_flag("--direct", o->direct,
                 "OLM: weave pick by pick (Resume) instead of storing 220 picks");
    cmd.add_flag("--resume-journal", o->resumeJournal,
                 "go on after the last pick woven before weaving stopped unexpectedly (the "
                 "journal beside the settings file); --to M sets a new End weft");
}

}  // namespace wp
