#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "import/picture.h"
#include "import/reader.h"

namespace wp {

// Decodes a JPEG file with libjpeg-turbo (baseline, progressive, grey, colour
// and CMYK pictures). A picture whose data is damaged is refused rather than
// shown with a grey patch. Rows come out top first.
bool decodeJpeg(const uint8_t* data, size_t size, Picture& out, std::string& error);

// Bilevel JPEG pictures (*.JPG).
class JpegReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Jpeg; }
    const char* nameFilter() const override { return "JPEGImage|*.JPG"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
