#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "loom/hexfile.h"
#include "loom/serialport.h"
#include "model/design.h"
#include "model/logstream.h"
#include "model/runflags.h"

namespace wp {

// What a controller driver works with besides its port: the design it reads
// pick by pick, the flags and clock of its waits, the user and the log.
struct LinkEnv {
    const DesignModel& design;
    RunFlags& flags;
    LogStream& log;
    SerialPortFactory makePort;
};

// Result codes of the link operations (SendFrame, ReadResponse).
enum : int {
    kOk = 0,
    kStopped = 2,    // stopped by the user, or nothing was received
    kLineError = 3,  // line error, write failure or time-out
    kNotOpen = 4,
};

inline constexpr int kBufferSize = 128;

// How a run begins: Start from the range's first pick, Resume from Next weft.
// A loom may weave the two differently (the shaft loom stores the picks of a
// Start in its controller and weaves a Resume pick by pick).
enum class RunMode { Start, Resume };

// One pick for the controller.
struct PickRequest {
    int pick = 0;        // as the weaver numbers it, from 1
    bool tabby = false;  // JX3: the tabby rows instead of the design's row
};

// How the start of a run went.
enum class StartResult {
    Started,
    NotStarted,  // the controller did not answer or did not get ready
    Stopped,     // the Stop button ended the wait for the controller
    Refused,     // the controller refused the run's mode
};

// What became of a pick handed to the controller.
enum class SendResult {
    Accepted,
    NotAccepted,  // not acknowledged: the controller does not have it
    Stopped,      // not sent: the Stop button was pressed
    LineError,    // the line broke while sending
    Unanswered,   // sent whole, but the answer to its last frame did not come: the
                  // controller may hold the pick, and the loom's report decides
};

// What the loom said while the run waited for a pick.
enum class Report {
    Woven,        // the oldest pick sent and not yet woven has been woven (or stored)
    Ready,        // ready for another pick; nothing woven
    Stopped,      // the Stop button ended the wait
    LineError,    // line error, hang-up or closed port
    Unconfirmed,  // no word on the pick within the loom's time: it may be woven or not
    Unexpected,   // an answer the run cannot follow
};

// What the run may ask of a loom type before and around a run.
struct DriverTraits {
    // Every warp end hangs on its own hook: the design is laid on the hooks
    // (and cut to them); false for a shaft loom, which has no hook limit.
    bool hooks = false;
    // The loom goes on reporting after the last pick of the range until the
    // weaver stops it; otherwise a run ends with its last pick.
    bool waitsForStop = false;
    // A controller that does not answer a reset may need its firmware.
    bool hasFirmware = false;
    // The controller tests itself and reports what it found.
    bool hasSelfTest = false;
    // The loom's word that a pick is woven is the answer to the pick's own
    // command: a word lost on the line leaves a stop unsure of that pick.
    bool wovenWordIsAnswer = false;
    const char* startCaption = "Start";
    const char* resumeCaption = "Resume";
};

// How a firmware download ended.
enum class DownloadResult {
    Done,
    NotOffered,   // this loom type has no firmware to load
    CannotOpen,   // the port did not open in text mode
    NoAnswer,     // the loader did not answer the first CR
    WriteFailed,  // a line could not be written ("Download error!")
};

// One answer of the controller during its self-test.
struct SelfTestAnswer {
    enum class Kind {
        Answer,   // code and value hold the answer
        Stopped,  // the stop request ended the wait
        Nothing,  // a line error, a time-out or nothing received
    };
    Kind kind = Kind::Nothing;
    uint8_t code = 0;
    uint8_t value = 0;
};

// Base of the controller drivers: owns the port, applies the line settings,
// writes text commands, keeps the buffers of a command and a response and the
// communication log. Each loom type implements the driver operations (begin,
// send and await a pick, stop, reset) in its own folder.
class TWeave {
public:
    explicit TWeave(LinkEnv env);
    virtual ~TWeave();
    TWeave(const TWeave&) = delete;
    TWeave& operator=(const TWeave&) = delete;

    // --- What the weaving run and the program use. ---
    virtual LoomType loomType() const = 0;
    virtual const DriverTraits& traits() const = 0;
    // Whether this loom can weave the design at all (a shaft loom needs a treadling).
    virtual bool canWeave(const DesignModel& d) const {
        (void)d;
        return true;
    }
    // Why a run cannot start on this design, in the weaver's words; empty when it can.
    virtual std::string refusal(const DesignModel& d) const {
        (void)d;
        return {};
    }
    // Gets the controller ready for a run's picks.
    virtual StartResult beginWeaving(RunMode mode) = 0;
    virtual SendResult SendPick(const PickRequest& request) = 0;
    // Waits for the loom's word on the picks sent.
    virtual Report awaitPick() = 0;
    // Tells the controller to stop weaving; false when it did not take it.
    virtual bool stopWeaving() = 0;
    // Picks reported woven while the driver waited for something else (the
    // answer to the stop): they count. Each is handed out once.
    virtual int takeWovenReports() { return 0; }
    // The run is over, however it ended.
    virtual void endWeaving() {}
    // Picks a run may hand over before the controller is full; 0 for no limit.
    virtual int pickStoreSize() const { return 0; }
    // Controller reset (parameter 0: menu, start-up, after a run; 1: after a
    // design load). True when the controller answered.
    virtual bool reset(int parameter) = 0;

    // --- Controller maintenance (traits().hasFirmware, traits().hasSelfTest). ---
    // Sends a checked firmware file to the controller's loader on the port
    // reopened in text mode; the caller reopens it for weaving afterwards.
    virtual DownloadResult downloadFirmware(const HexFile& file, int portNumber) {
        (void)file;
        (void)portNumber;
        return DownloadResult::NotOffered;
    }
    // Asks the controller to test itself; false when it did not take the request.
    virtual bool startSelfTest() { return false; }
    // Waits for the controller's next word on its test (0: no time-out).
    virtual SelfTestAnswer awaitSelfTestAnswer(int timeoutMs) {
        (void)timeoutMs;
        return {};
    }
    // The Stop button during a test; the test ends when the controller says so.
    virtual void stopSelfTest() {}
    // A test whose wait was stopped from outside is reset at once.
    virtual void abortSelfTest() {}

    bool OpenPort(int portNumber, bool download);
    // Opens the configured port again for weaving (after the device went away).
    bool reopenPort();
    bool ClosePort();
    bool portOpen() const { return port_ && port_->isOpen(); }
    // The port was open and its device went away (a pulled cable, a dead line).
    bool lineDead() const { return port_ && port_->hungUp(); }

    // --- The link: what the drivers, the download and the self-test build on. ---
    virtual bool WriteCommand(const std::string& text);
    virtual void ConfigurePort(bool download, LineSettings& ls, Timeouts& to);
    virtual int SendFrame(uint8_t code, uint8_t parameter, uint8_t dataLength);
    virtual int ReadResponse(int timeoutMs) = 0;

    uint8_t ResponseByte(int i) const;
    bool ResponseIs(int i, uint8_t value) const;
    // Valid bytes of the last response.
    uint32_t receivedCount() const { return receivedCount_; }
    // The bytes of the last response.
    std::string response() const;
    // Line-error flags of the last port-status query.
    uint32_t errorFlags() const { return errorFlags_; }
    // The port was opened for the firmware download.
    bool textMode() const { return textMode_; }
    // The command last built, and its length.
    const std::string& command() const { return commandBuffer_; }
    int commandLength() const { return commandLength_; }

    static std::string LineErrorText(int flags);

    // Communication log line: kind, count mod 100, a space, the bytes, CR LF.
    static std::string formatLogLine(char kind, const uint8_t* data, size_t n, bool hex);

protected:
    // Queries and clears the line errors with the queue counts.
    void queryStatus();
    void log(char kind, const uint8_t* data, size_t n, bool hex);
    // One pause of a wait: pumps messages, then sleeps on the port until input
    // comes or a short while passes (never past Timer1's tick).
    void idle(int maxMs);
    // Reads up to `count` bytes into the response buffer at the received count.
    size_t readIntoResponse(size_t count);
    // Puts text and CR in the command buffer.
    void setCommand(const std::string& text);
    // A new line: whatever a driver kept from the old one is stale.
    virtual void lineOpened() {}

    LinkEnv env_;
    std::unique_ptr<SerialPort> port_;

    uint32_t errorFlags_ = 0;     // from the last port-status query
    uint32_t receivedCount_ = 0;  // valid bytes in the response buffer
    int commandLength_ = 0;
    bool textMode_ = false;  // opened for firmware download
    PortStatus portStatus_{};
    // Text commands longer than the controller's lines (long HEX records) still
    // fit: the buffer grows instead of overflowing.
    std::string commandBuffer_;
    std::array<uint8_t, kBufferSize> responseBuffer_{};
};

// Sets every field a driver owns: the given line, all other handshakes off.
void setControllerLine(LineSettings& ls, Timeouts& to, int baud, int dataBits, Parity parity,
                       bool ctsFlow, DtrControl dtr, uint32_t readInterval, uint32_t readConstant);

}  // namespace wp
