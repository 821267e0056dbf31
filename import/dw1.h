#pragma once

#include "import/reader.h"

namespace wp {

// Jacquard CAD files (*.DW1): big-endian header with the sizes and the places
// of a palette, warp colour records and a warp colour pattern; one bit row
// and a colour mark per pick from offset 512, pick 1 first.
class Dw1Reader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Dw1; }
    const char* nameFilter() const override { return "Pattrix|*.DW1"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
