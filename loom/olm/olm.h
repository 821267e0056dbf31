#pragma once

#include <cstdint>
#include <string>

#include "loom/olm/protocol.h"
#include "loom/weave.h"

namespace wp {

// Loom type OLM: ASCII register commands with byte-by-byte echo. A Start
// stores the picks in the controller's pick store; a Resume weaves them one by
// one in direct mode.
class Tolm : public TWeave {
public:
    using TWeave::TWeave;

    static const DriverTraits kTraits;

    LoomType loomType() const override { return LoomType::OLM; }
    const DriverTraits& traits() const override { return kTraits; }
    bool canWeave(const DesignModel& d) const override { return !d.draft.treadling.empty(); }
    std::string refusal(const DesignModel& d) const override;
    StartResult beginWeaving(RunMode mode) override;
    SendResult SendPick(const PickRequest& request) override;
    Report awaitPick() override;
    bool stopWeaving() override;
    int takeWovenReports() override;
    void endWeaving() override;
    int pickStoreSize() const override;
    // There is nothing to reset: the controller always counts as answered.
    bool reset(int) override { return true; }

    bool WriteCommand(const std::string& text) override;
    void ConfigurePort(bool download, LineSettings& ls, Timeouts& to) override;
    int ReadResponse(int timeoutMs) override;

    // Shaft byte B and word W of a pick, by the draft's loom layout.
    struct PickValue {
        uint32_t B = 0;
        uint32_t W = 0;
    };
    PickValue pickValue(int pick) const;

    // Writes a pick into store entry `index`; true when the controller said "R".
    bool storePick(int pick, int index);
    // Sends a pick to weave now; false when a line could not be written.
    bool sendDirectPick(int pick);

    // Picks are woven one by one (Resume) rather than stored (Start).
    bool directMode() const { return directMode_; }
    // How long the weaver has to weave a direct pick before the run asks them
    // whether it is woven.
    void setWeaveWindow(int ms) { weaveWindowMs_ = ms; }

private:
    // Writes a command line and, unless answerMs is 0, reads its answer whole.
    bool writeLine(const std::string& text, int answerMs);
    int readAnswer(int timeoutMs, bool stoppable);
    void switchDirectModeOff();

    bool directMode_ = false;
    bool directOn_ = false;
    int storeIndex_ = 0;  // next pick store entry of a Start
    // A direct pick has been sent and not yet reported woven.
    bool outstanding_ = false;
    // Direct picks reported woven when the run had stopped waiting for them.
    int lateWoven_ = 0;
    // Everything received during the last command: stale input, echo, answer.
    std::string heard_;
    int weaveWindowMs_ = olm::kWeaveMs;
};

}  // namespace wp
