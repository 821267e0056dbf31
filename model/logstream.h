#pragma once

#include <cstdio>
#include <string>

namespace wp {

// The diagnostic dump file of the Logging command; the drivers append one line
// per serial exchange while it is open.
class LogStream {
public:
    LogStream() = default;
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;
    ~LogStream() { close(); }

    bool open(const std::string& path) {
        close();
        file_ = std::fopen(path.c_str(), "wb");
        return file_ != nullptr;
    }
    void close() {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }
    bool isOpen() const { return file_ != nullptr; }
    void write(const std::string& bytes) {
        if (!file_) return;
        std::fwrite(bytes.data(), 1, bytes.size(), file_);
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
};

}  // namespace wp
