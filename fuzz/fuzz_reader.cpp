// libFuzzer target: one design reader on arbitrary bytes. WP_FUZZ_TYPE names
// the reader's design type; each reader is its own target (fuzz_native,
// fuzz_imp, ...).
#include <cstddef>
#include <cstdint>
#include <string>

#include "import/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The widest loom, so that every design a format can hold is read.
    static wp::DesignModel d;
    d.hw.hookCount = wp::kMaxHooks;
    d.hw.moduleCount = wp::kMaxModules;
    d.releaseDesign();
    const wp::DesignReader* reader = wp::readerFor(wp::FileType::WP_FUZZ_TYPE);
    wp::ReadOptions options;
    // Both answers to the strip question, one for odd and one for even sizes.
    options.ask = [size](const std::string&) { return size % 2 == 1; };
    const wp::ReadResult r = reader->read(data, size, d, options);
    if (r.ok) {
        // Walk what was read, as the grid and the run would.
        unsigned sum = 0;
        for (int j = 0; j < d.header.wefts(); ++j)
            for (int x = 0; x < d.header.warps(); ++x) sum += d.lift(wp::RowNo{j}, x);
        for (int t = 0; t < d.header.treadles(); ++t) {
            for (int s = 0; s < d.header.shafts(); ++s) sum += d.tieUpBit(t, s);
            for (int j = 0; j < d.header.wefts(); ++j) sum += d.treadlingBit(t, wp::RowNo{j});
        }
        for (uint8_t s : d.draft.threading) sum += s;
        sum += static_cast<unsigned>(d.warpColours.size() == static_cast<size_t>(d.header.warps()));
        sum += static_cast<unsigned>(d.weftColours.size() == static_cast<size_t>(d.header.wefts()));
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}
