#pragma once

#include <array>
#include <cstdint>

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
    // Module blocks per pick of the run under way.
    int modules() const { return modules_; }

private:
    std::array<uint8_t, kMaskBytes> pick_{};
    int modules_ = 0;
};

// Block shuffle of one 28-byte module block, and its inverse.
void shuffleBlock(uint8_t* block);
void unshuffleBlock(uint8_t* block);

}  // namespace wp
