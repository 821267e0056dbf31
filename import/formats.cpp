#include "import/formats.h"

#include <array>
#include <cctype>
#include <utility>

namespace wp {
namespace {

constexpr std::array<std::pair<std::string_view, FileType>, 11> kExtensions = {{
    {"dob", FileType::Native},
    {"ctm", FileType::Native},
    {"imp", FileType::Imp},
    {"dw1", FileType::Dw1},
    {"dw", FileType::Dw1},
    {"bmp", FileType::Bmp},
    {"tif", FileType::Tiff},
    {"tiff", FileType::Tiff},
    {"jpg", FileType::Jpeg},
    {"jpeg", FileType::Jpeg},
    {"wif", FileType::Wif},
}};

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::optional<FileType> designTypeOfExtension(std::string_view extension) {
    for (const auto& [name, type] : kExtensions)
        if (sameLetters(name, extension)) return type;
    return std::nullopt;
}

std::optional<FileType> designTypeOfPath(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return std::nullopt;
    return designTypeOfExtension(name.substr(dot + 1));
}

const char* designTypeName(FileType type) {
    switch (type) {
        case FileType::Native:
            return "dob";
        case FileType::Imp:
            return "imp";
        case FileType::Dw1:
            return "dw1";
        case FileType::Bmp:
            return "bmp";
        case FileType::Tiff:
            return "tif";
        case FileType::Jpeg:
            return "jpg";
        case FileType::Wif:
            return "wif";
    }
    return "dob";
}

}  // namespace wp
