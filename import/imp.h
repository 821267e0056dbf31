#pragma once

#include "import/reader.h"

namespace wp {

// Import files (*.IMP): a picture of 4 bits a pixel, pick 1 first, behind two
// blocks of variable length; a pixel with its lowest bit set is lifted.
class ImpReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Imp; }
    const char* nameFilter() const override { return "Import|*.IMP"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
