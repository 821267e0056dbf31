#include "tools/image.h"

#include <png.h>

#include <string>

namespace wp {

std::vector<uint8_t> encodePngRgb(const RgbImage& img) {
    if (img.width <= 0 || img.height <= 0) return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(img.width);
    image.height = static_cast<png_uint_32>(img.height);
    image.format = PNG_FORMAT_RGB;
    // The first call asks for the size, the second writes.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, img.pixels.data(), 0, nullptr))
        return {};
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, img.pixels.data(), 0, nullptr))
        return {};
    out.resize(size);
    return out;
}

std::vector<uint8_t> encodePbm(int width, int height, const std::vector<uint8_t>& black) {
    const std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    std::vector<uint8_t> out(head.begin(), head.end());
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x)
            if (black[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)])
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80u >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace wp
