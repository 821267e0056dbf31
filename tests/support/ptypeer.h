#pragma once

#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

#include "loom/serialport.h"

namespace wp::test {

// The far end of a pseudo-terminal, played by a thread: whatever the program
// writes to the slave side is collected and handed to a handler whose answer
// is written back.
class PtyPeer {
public:
    using Handler = std::function<std::string(const std::string& chunk)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    void setHandler(Handler h);
    void send(const std::string& bytes);
    // Everything received so far.
    std::string received();
    // Waits until at least n bytes have been received (or ms pass).
    bool waitReceived(size_t n, int ms);
    // Closes the master side: the program sees the line hang up.
    void hangUp();

private:
    void loop();

    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::mutex mu_;
    std::string received_;
    Handler handler_;
    std::thread thread_;
};

// Bytes written as numbers, for frames.
inline std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// Serial ports whose COM1 is the given device (any other port does not exist).
inline SerialPortFactory portsWithCom1At(const std::string& path) {
    return [path] {
        return makePosixSerialPort([path](const std::string& name) {
            return name == "COM1" ? path : "/dev/wp-no-such-port";
        });
    };
}

}  // namespace wp::test
