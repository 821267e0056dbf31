// weavepilot-loomsim: a loom controller on a pseudo-terminal, for weaving without a loom.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/loomsim.h"

namespace {

std::atomic<wp::sim::LoomSim*> gSim{nullptr};

extern "C" void onStopSignal(int /*signal*/) {
    if (wp::sim::LoomSim* sim = gSim.load()) sim->requestStop();
}

extern "C" void onPictureSignal(int /*signal*/) {
    if (wp::sim::LoomSim* sim = gSim.load()) sim->requestPicture();
}

void install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

const char* reasonText(wp::sim::StopReason reason) {
    switch (reason) {
        case wp::sim::StopReason::Requested:
            return "stopped";
        case wp::sim::StopReason::HungUp:
            return "hung up as asked";
        case wp::sim::StopReason::PicksDone:
            return "all picks woven";
        case wp::sim::StopReason::Failed:
            return "failed";
    }
    return "stopped";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const wp::sim::ParsedArguments parsed = wp::sim::parseArguments(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "weavepilot-loomsim: %s\nTry --help.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(wp::sim::usageText().c_str(), stdout);
        return 0;
    }

    wp::sim::LoomSim sim(parsed.options);
    if (wp::sim::Status status = sim.open(); !status) {
        std::fprintf(stderr, "weavepilot-loomsim: %s\n", status.error.c_str());
        return 1;
    }
    // Handlers first: whoever reads the device line may signal us right away.
    gSim.store(&sim);
    install(SIGINT, onStopSignal);
    install(SIGTERM, onStopSignal);
    install(SIGHUP, onStopSignal);
    install(SIGUSR1, onPictureSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("device: %s\n", sim.devicePath().c_str());
    std::fflush(stdout);

    const wp::sim::RunResult result = sim.run();
    gSim.store(nullptr);
    const wp::sim::SimState state = sim.state();
    if (result.reason == wp::sim::StopReason::Failed) {
        std::fprintf(stderr, "weavepilot-loomsim: %s\n", result.error.c_str());
    }
    std::fprintf(stderr, "weavepilot-loomsim: %s, %llu picks woven\n", reasonText(result.reason),
                 static_cast<unsigned long long>(state.picksWoven));
    sim.close();
    return result.reason == wp::sim::StopReason::Failed ? 1 : 0;
}
