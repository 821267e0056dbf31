#include "import/reader.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "import/bmp.h"
#include "import/dw1.h"
#include "import/imp.h"
#include "import/jpeg.h"
#include "import/native.h"
#include "import/tiff.h"
#include "import/wif.h"

namespace wp {

const DesignReader* readerFor(FileType type) {
    static const NativeReader native;
    static const ImpReader imp;
    static const Dw1Reader dw1;
    static const WifReader wif;
    static const BmpReader bmp;
    static const TiffReader tiff;
    static const JpegReader jpeg;
    switch (type) {
        case FileType::Native:
            return &native;
        case FileType::Imp:
            return &imp;
        case FileType::Dw1:
            return &dw1;
        case FileType::Bmp:
            return &bmp;
        case FileType::Tiff:
            return &tiff;
        case FileType::Jpeg:
            return &jpeg;
        case FileType::Wif:
            return &wif;
    }
    return nullptr;
}

bool truncateToLoom(DesignModel& d, ReadResult& result) {
    const HardwareConfig& hw = d.hw;
    if (d.header.wefts() > hw.maxWefts) {
        // Said, as a cut in width is: the weaver would miss the picks at the loom.
        char picks[320];
        std::snprintf(picks, sizeof picks,
                      "Design size: %d picks, available %d. The design is cut to %d picks; to "
                      "weave them all, raise chunksize (now %d) in the [Mirlo] section of the "
                      "settings file: a design may have chunksize x 100 picks.",
                      d.header.wefts(), hw.maxWefts, hw.maxWefts, hw.chunksize);
        result.tell(BoxKind::Information, picks);
        d.header.set(Slot::wefts, static_cast<uint16_t>(hw.maxWefts));
    }
    if (d.header.warps() <= hw.hookCount) return false;
    char text[160];
    std::snprintf(text, sizeof text,
                  "Design size: %d threads, Available %d modules. Truncating from left",
                  d.header.warps(), hw.hookCount / kModuleHooks);
    result.tell(BoxKind::Error, text);
    const int keep = std::max(0, hw.hookCount - hw.blankHeadleCount);
    d.header.set(Slot::warps, static_cast<uint16_t>(keep));
    return true;
}

bool startPictureDesign(DesignModel& d, int W, int F, ReadResult& result) {
    d.header = DesignHeader{};
    d.header.set(Slot::warps, static_cast<uint16_t>(W));
    d.header.set(Slot::wefts, static_cast<uint16_t>(F));
    if (W == 0 && F != 0) {
        result.failed("the design has no warp ends");
        return false;
    }
    truncateToLoom(d, result);
    if (d.header.wefts() == 0 || !d.allocateMatrix()) {
        result.tell(BoxKind::Information, "Unknown file structure.");
        result.failed("");
        return false;
    }
    return true;
}

void numberWeftColours(DesignModel& d) {
    std::unordered_map<uint32_t, uint16_t> seen;
    const size_t n = std::min(d.weftColours.size(), d.weftColourNumbers.size());
    for (size_t i = 0; i < n; ++i) {
        auto [it, added] = seen.emplace(d.weftColours[i], static_cast<uint16_t>(seen.size() + 1));
        d.weftColourNumbers[i] = it->second;
        (void)added;
    }
}

}  // namespace wp
