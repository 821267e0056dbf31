#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "loom/weave.h"

namespace wp {

// Loom type JX3: binary frames, one 28-byte block per module.
class Tjx3 : public TWeave {
public:
    using TWeave::TWeave;

    static const DriverTraits kTraits;

    LoomType loomType() const override { return LoomType::JX3; }
    const DriverTraits& traits() const override { return kTraits; }
    // Begin weaving with the modules the design needs, wait for the loom's
    // ready report, then send the controller settings.
    StartResult beginWeaving(RunMode mode) override;
    SendResult SendPick(const PickRequest& request) override;
    Report awaitPick() override;
    bool stopWeaving() override;
    int takeWovenReports() override;
    bool reset(int parameter) override;

    DownloadResult downloadFirmware(const HexFile& file, int portNumber) override;
    bool startSelfTest() override;
    SelfTestAnswer awaitSelfTestAnswer(int timeoutMs) override;
    void stopSelfTest() override;
    void abortSelfTest() override;

    int SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength) override;
    int ReadResponse(int timeoutMs) override;

    // Sends the module blocks and the end frame of a pick; a link result code.
    // Stops after a block the controller does not accept with 8.
    int sendPickFrames(int pick, int modules, bool tabby);
    // The 448-byte pick buffer built last, before any shuffle.
    const std::array<uint8_t, kMaskBytes>& pickBuffer() const { return pick_; }
    // Builds the pick buffer of a pick without sending it.
    void buildPick(int pick, bool tabby);
    // Sends module block k (from 1) of the pick buffer.
    int sendBlock(int k);
    // Module blocks per pick of the run under way.
    int modules() const { return modules_; }

protected:
    void lineOpened() override;

private:
    // One controller message into the response buffer. Bytes that do not
    // make a message (a wrong check byte, an unknown code, a stray byte
    // between messages) are logged and skipped one at a time until the
    // messages line up again. stoppable: the Stop button ends the wait.
    int readMessage(int timeoutMs, bool stoppable);
    // The loader's text.
    int readText(int timeoutMs);
    // Reads what is waiting without waiting; the bytes stay for readMessage.
    void takeInput();
    // Takes the messages waiting before a frame goes out: the loom's reports
    // are kept, anything else is stale.
    void drainInput();
    // The answer to the frame just written, within its time. The loom's
    // reports that come first are kept.
    int awaitAnswer(uint8_t code);
    void keepReport(uint8_t value);

    std::array<uint8_t, kMaskBytes> pick_{};
    int modules_ = 0;
    std::string rx_;  // received, not yet taken as a message
    // Reports of the loom that came while the driver waited for an answer.
    std::deque<Report> reports_;
    // Picks the controller took and has not yet reported woven.
    int unreported_ = 0;
    // The end of the pick just sent was answered by the report that the pick
    // is woven (its own answer was lost).
    bool takenByReport_ = false;
};

// Block shuffle of one 28-byte module block, and its inverse.
void shuffleBlock(uint8_t* block);
void unshuffleBlock(uint8_t* block);

}  // namespace wp
