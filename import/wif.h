#pragma once

#include "import/reader.h"

namespace wp {

// WIF drafts (Weaving Information File, the profile-file exchange format that
// weaving programs write): sizes, colours through the colour table, the shaft
// draft (threading, tie-up and treadling, or a lift plan) and the drawdown
// worked out from it.
class WifReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Wif; }
    const char* nameFilter() const override { return "WIF file|*.WIF"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
