#pragma once

#include <chrono>

#include "model/userio.h"

namespace wp {

// The flags that end a wait, and Timer1, the only clock of a wait. Timer1 keeps
// the main window timer's behaviour: it is started with an interval, its tick
// sets the time-out flag and disables it. The tick is delivered by pump(), so it
// reaches the program exactly where window messages would.
class RunFlags {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunFlags(UserInterface& ui) : ui_(ui) {}

    UserInterface& ui() { return ui_; }

    bool stopRequest = false;  // set by the Stop button
    bool timeOutFlag = false;  // set by the tick of Timer1

    void startTimer1(int intervalMs) {
        timer1Interval_ = intervalMs;
        timer1Enabled_ = true;
        timer1Due_ = Clock::now() + std::chrono::milliseconds(intervalMs);
    }
    void disableTimer1() { timer1Enabled_ = false; }
    bool timer1Enabled() const { return timer1Enabled_; }
    int timer1Interval() const { return timer1Interval_; }

    void Timer1Timer() {
        timeOutFlag = true;
        timer1Enabled_ = false;
    }

    // Lets pending window messages run, then delivers a due tick of Timer1.
    void pump() {
        ui_.processEvents();
        if (timer1Enabled_ && Clock::now() >= timer1Due_) Timer1Timer();
    }

    // How long a wait may block before the next pump: at most capMs, and never
    // past Timer1's tick.
    int blockBudgetMs(int capMs) const {
        if (!timer1Enabled_) return capMs;
        // Rounded up: a wait that ends short of the tick would spin until it.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(timer1Due_ - Clock::now()).count();
        if (left <= 0) return 0;
        return left < capMs ? static_cast<int>(left) : capMs;
    }

private:
    UserInterface& ui_;
    bool timer1Enabled_ = false;
    int timer1Interval_ = 2000;
    Clock::time_point timer1Due_{};
};

}  // namespace wp
