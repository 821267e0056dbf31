// libFuzzer target: the native draft reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "import/native.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The widest loom, so that every design the format can hold is read.
    static wp::DesignModel d;
    d.hw.hookCount = wp::kMaxHooks;
    d.hw.moduleCount = wp::kMaxModules;
    d.releaseDesign();
    const std::vector<uint8_t> file(data, data + size);
    const wp::ReadResult r = wp::NativeReader().read(file, d);
    if (r.ok) {
        // Walk what was read, as the grid and the run would.
        unsigned sum = 0;
        for (int j = 0; j < d.header.wefts(); ++j)
            for (int x = 0; x < d.header.warps(); ++x) sum += d.lift(wp::RowNo{j}, x);
        for (int t = 0; t < d.header.treadles(); ++t)
            for (int s = 0; s < d.header.shafts(); ++s) sum += d.tieUpBit(t, s);
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}
