#pragma once

#include <string>
#include <utility>

namespace wp::sim {

// Outcome of an operation that can fail; the library reports errors this way instead of throwing.
struct Status {
    bool ok = true;
    std::string error;

    static Status success() { return {}; }
    static Status failure(std::string message) { return {false, std::move(message)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace wp::sim
