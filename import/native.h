#pragma once

#include "import/reader.h"

namespace wp {

// Native dobby and countermarche drafts (*.DOB, *.CTM): keys found by
// searching, sizes, colours, the shaft draft and the lift matrix.
class NativeReader final : public DesignReader {
public:
    using DesignReader::read;
    FileType fileType() const override { return FileType::Native; }
    const char* nameFilter() const override { return "Dobby|*.DOB|Countermarche|*.CTM"; }
    ReadResult read(const uint8_t* data, size_t size, DesignModel& d,
                    const ReadOptions& options) const override;
};

}  // namespace wp
