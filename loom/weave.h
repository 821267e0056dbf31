#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "model/design.h"
#include "model/logstream.h"
#include "model/runflags.h"
#include "loom/serialport.h"

namespace wp {

// What a controller driver works with besides its port: the design it reads
// pick by pick, the flags and clock of its waits, the user and the log.
struct LinkEnv {
    const DesignModel& design;
    RunFlags& flags;
    LogStream& log;
    SerialPortFactory makePort;
};

// Driver result codes.
enum : int {
    kOk = 0,
    kStopped = 2,   // stopped by the user, or nothing was received
    kLineError = 3, // line error, write failure or time-out
    kNotOpen = 4,
};

inline constexpr int kBufferSize = 128;

// Base of the controller drivers: owns the port, applies the line settings,
// writes text commands and keeps the communication log.
class TWeave {
public:
    explicit TWeave(LinkEnv env);
    virtual ~TWeave();
    TWeave(const TWeave&) = delete;
    TWeave& operator=(const TWeave&) = delete;

    virtual LoomType loomType() const = 0;
    // Whether this loom can weave the design (a shaft loom needs a treadling).
    virtual bool canWeave(const DesignModel& d) const {
        (void)d;
        return true;
    }

    virtual bool WriteCommand(const std::string& text);
    virtual void ConfigurePort(bool download, LineSettings& ls, Timeouts& to);
    virtual int SendPick(int pick, int number, bool flag) = 0;
    virtual int SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength);
    virtual int ReadResponse(int timeoutMs) = 0;

    bool OpenPort(int portNumber, bool download);
    bool ClosePort();
    bool portOpen() const { return port_ && port_->isOpen(); }

    uint8_t ResponseByte(int i) const;
    bool ResponseIs(int i, uint8_t value) const;

    static std::string LineErrorText(int flags);

    // Communication log line: kind, count mod 100, a space, the bytes, CR LF.
    static std::string formatLogLine(char kind, const uint8_t* data, size_t n, bool hex);

    uint32_t errorFlags = 0;     // from the last port-status query
    uint32_t receivedCount = 0;  // valid bytes in the response buffer
    int commandLength = 0;
    bool textMode = false;       // opened for firmware download
    PortStatus portStatus{};
    // Text commands longer than the controller's lines (long HEX records) still
    // fit: the buffer grows instead of overflowing.
    std::string commandBuffer;
    std::array<uint8_t, kBufferSize> responseBuffer{};

protected:
    // Queries and clears the line errors with the queue counts.
    void queryStatus();
    void log(char kind, const uint8_t* data, size_t n, bool hex);
    // One pause of a wait: pumps messages, then sleeps on the port until input
    // comes or a short while passes (never past Timer1's tick).
    void idle(int maxMs);

    LinkEnv env_;
    std::unique_ptr<SerialPort> port_;
};

// Loom type JX3: binary frames, one 28-byte block per module.
class Tjx3 : public TWeave {
public:
    using TWeave::TWeave;
    LoomType loomType() const override { return LoomType::JX3; }
    int SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength) override;
    int ReadResponse(int timeoutMs) override;
    int SendPick(int pick, int modules, bool tabby) override;

    // The 448-byte pick buffer SendPick built last, before any shuffle.
    const std::array<uint8_t, kMaskBytes>& pickBuffer() const { return pick_; }
    // Builds the pick buffer of a pick without sending it.
    void buildPick(int pick, bool tabby);

private:
    std::array<uint8_t, kMaskBytes> pick_{};
};

// Loom type OLM: ASCII register commands with byte-by-byte echo.
class Tolm : public TWeave {
public:
    using TWeave::TWeave;
    LoomType loomType() const override { return LoomType::OLM; }
    bool canWeave(const DesignModel& d) const override { return !d.draft.treadling.empty(); }
    bool WriteCommand(const std::string& text) override;
    void ConfigurePort(bool download, LineSettings& ls, Timeouts& to) override;
    int ReadResponse(int timeoutMs) override;
    int SendPick(int pick, int storeIndex, bool direct) override;

    // Shaft byte B and word W of a pick, by the draft's loom layout.
    struct PickValue {
        uint32_t B = 0;
        uint32_t W = 0;
    };
    PickValue pickValue(int pick) const;

    bool directMode = false;
};

// Sets every field a driver owns: the given line, all other handshakes off.
void setControllerLine(LineSettings& ls, Timeouts& to, int baud, int dataBits, Parity parity,
                       bool ctsFlow, DtrControl dtr, uint32_t readInterval, uint32_t readConstant);

// Block shuffle of one 28-byte module block, and its inverse.
void shuffleBlock(uint8_t* block);
void unshuffleBlock(uint8_t* block);

std::unique_ptr<TWeave> makeDriver(LoomType type, LinkEnv env);

}  // namespace wp
