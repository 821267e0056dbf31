#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "import/picture.h"
#include "import/reader.h"

namespace wp {

// Decodes a BMP file: Windows headers of every version and OS/2 ones,
// 1, 4, 8, 16, 24 and 32 bits a pixel, bottom-up and top-down rows, colour
// masks, and run-length compressed 4- and 8-bit pictures. Palettes and masks
// are those the file declares. Rows come out top first. False with the reason
// when the file is no BMP this decoder can show as it is.
bool decodeBmp(const uint8_t* data, size_t size, Picture& out, std::string& error);

// Bilevel BMP pictures (*.BMP), with weft colours from markers in the margin.
class BmpReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Bmp; }
    const char* nameFilter() const override { return "BMPImage|*.BMP"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
