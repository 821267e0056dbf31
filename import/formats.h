#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/design.h"

namespace wp {

// The design type a file name extension stands for, without regard to case:
// dob and ctm (native drafts), imp, dw1 (also dw), bmp, tif (also tiff),
// jpg (also jpeg), wif. The extension is given without its dot.
std::optional<FileType> designTypeOfExtension(std::string_view extension);

// The design type of a file by its name's extension; nothing when the name
// has no extension or one of no design type.
std::optional<FileType> designTypeOfPath(std::string_view path);

// The short name of a design type: dob, imp, dw1, bmp, tif, jpg, wif.
const char* designTypeName(FileType type);

}  // namespace wp
