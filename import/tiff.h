#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "import/picture.h"
#include "import/reader.h"

namespace wp {

// Decodes the first picture of a TIFF file through libtiff's RGBA reader
// (every photometric interpretation and compression libtiff knows, fax G3
// and G4 and WhiteIsZero among them). Rows come out bottom first, as the
// RGBA raster has them. A picture libtiff reports damaged is refused.
bool decodeTiff(const uint8_t* data, size_t size, Picture& out, std::string& error);

// Bilevel TIFF pictures (*.TIF).
class TiffReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Tiff; }
    const char* nameFilter() const override { return "TIFFImage|*.TIF"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
