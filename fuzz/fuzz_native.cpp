// libFuzzer target: the native draft reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/session.h"
#include "import/native.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static wp::SilentUserInterface ui;
    static wp::Session session(ui, "/nonexistent/lanset.ini");
    static wp::DesignLoader loader(session);
    static bool configured = [] {
        session.design().hw.hookCount = 3520;
        session.design().hw.moduleCount = 16;
        return true;
    }();
    (void)configured;
    wp::DesignModel& d = session.design();
    d.releaseDesign();
    const std::vector<uint8_t> file(data, data + size);
    const wp::ReadResult r = wp::readNativeDraft(file, d, loader, ui);
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
