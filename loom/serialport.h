#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wp {

enum class Parity { None, Even, Odd };
enum class DtrControl { Disable, Enable, Handshake };
enum class RtsControl { Disable, Enable, Handshake };

// Line settings of a serial port, in the terms a controller's manual uses.
struct LineSettings {
    int baudRate = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
    bool binary = true;
    bool parityCheck = false;
    bool ctsOutFlow = false;
    bool dsrOutFlow = false;
    DtrControl dtr = DtrControl::Enable;
    RtsControl rts = RtsControl::Enable;
    bool dsrSensitivity = false;
    bool xonXoff = false;
    bool errorChar = false;
    bool nullStrip = false;
    bool abortOnError = false;
};

// Read and write time-outs, all in milliseconds. A read ends when all bytes are
// in, when readTotalMultiplier x count + readTotalConstant has passed, or when
// more than readInterval passes between two bytes once the first has come.
// A total of 0 (multiplier and constant) means no total limit.
struct Timeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

// Line-error flags as the controller drivers report them.
enum LineError : uint32_t {
    kErrRxOver = 0x0001,
    kErrOverrun = 0x0002,
    kErrParity = 0x0004,
    kErrFrame = 0x0008,
    kErrBreak = 0x0010,
    kErrIO = 0x0400,
    kErrMode = 0x8000,
};

struct PortStatus {
    uint32_t flags = 0;     // line errors since the last query
    uint32_t inQueue = 0;   // bytes waiting to be read
    uint32_t outQueue = 0;  // bytes not yet sent
};

// The serial operations the drivers need. The POSIX backend implements them on
// termios; a Win32 backend can implement them on the Comm API one for one.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the port by its name ("COM1"); false keeps no handle.
    virtual bool open(const std::string& name) = 0;
    virtual bool isOpen() const = 0;
    virtual bool close() = 0;

    virtual bool getLineSettings(LineSettings& ls) = 0;
    virtual bool setLineSettings(const LineSettings& ls) = 0;
    virtual bool getTimeouts(Timeouts& t) = 0;
    virtual bool setTimeouts(const Timeouts& t) = 0;
    virtual bool setupQueues(uint32_t inBytes, uint32_t outBytes) = 0;

    // Reports the line errors since the last call (and clears them) together
    // with the queue counts.
    virtual bool clearError(PortStatus& status) = 0;
    virtual bool purgeInput() = 0;

    // Blocking read and write with the time-outs above.
    virtual bool read(uint8_t* buf, size_t count, size_t& got) = 0;
    virtual bool write(const uint8_t* buf, size_t count, size_t& written) = 0;

    // Blocks until input is waiting, the line hangs up or ms pass; lets a wait
    // for the controller sleep instead of spinning.
    virtual void waitForInput(int ms) = 0;

    // The line has hung up (the device went away); it stays so until reopened.
    virtual bool hungUp() const = 0;

    virtual int lastError() const = 0;
    virtual std::string errorText(int code) const = 0;
};

using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;

// Port names resolve to device paths through this function.
using PortResolver = std::function<std::string(const std::string& name)>;

std::unique_ptr<SerialPort> makePosixSerialPort(PortResolver resolve);

// The serial ports this computer has, as device paths.
std::vector<std::string> serialDevices();
// The program holding a port's lock, as "name (process N)"; empty when none.
std::string portHolder(const std::string& path);
// What a weaver can do about a failed open of path with errno code; empty
// when there is nothing to add to the system's text.
std::string openFailureHint(const std::string& path, int code, const std::string& holder);

}  // namespace wp
