#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/design.h"
#include "model/userio.h"

namespace wp {

// A box a reader leaves for the common load to show, such as the notice that
// a design was cut to the loom.
struct ReadMessage {
    BoxKind kind;
    std::string text;
};

// What a reader reports: whether the design was read, else the reason in
// words a weaver understands (the load names the file; empty when a message
// already says it), and the boxes to show on the way, in order.
struct ReadResult {
    bool ok = true;
    std::string error;
    std::vector<ReadMessage> messages;

    // Ends the read with its reason; the messages so far stay.
    ReadResult& failed(std::string why) {
        ok = false;
        error = std::move(why);
        return *this;
    }
    void tell(BoxKind kind, std::string text) { messages.push_back({kind, std::move(text)}); }
};

// What a reader may ask of the weaver while it reads.
struct ReadOptions {
    // A Yes/No question such as "Strip blank edges ?"; unset answers No.
    std::function<bool(const std::string& question)> ask;

    bool askYesNo(const std::string& question) const { return ask && ask(question); }
};

// One design format: the bytes of a whole file into the design model, whose
// hardware configuration gives the loom's size.
class DesignReader {
public:
    virtual ~DesignReader() = default;

    virtual FileType fileType() const = 0;
    // The open dialog's filter, such as "Import|*.IMP".
    virtual const char* nameFilter() const = 0;
    virtual ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                            const ReadOptions& options) const = 0;

    ReadResult read(const std::vector<uint8_t>& file, DesignModel& d,
                    const ReadOptions& options = {}) const {
        return read(file.data(), file.size(), d, options);
    }
};

// The reader of a design type; nullptr while the type has none.
const DesignReader* readerFor(FileType type);

// Cuts the picks to the row blocks silently and the width to the loom's hooks
// (less the disconnected ones) with a notice; true when the width was cut.
bool truncateToLoom(DesignModel& d, ReadResult& result);

// Weft colour numbers: the first pick gets 1, every later pick the 1-based place
// of its colour in the list of distinct colours met so far.
void numberWeftColours(DesignModel& d);

}  // namespace wp
