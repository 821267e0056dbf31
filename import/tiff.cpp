#include "import/tiff.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace wp {
namespace {

constexpr uint64_t kMaxPixels = uint64_t{64} << 20;
// libtiff's own buffers (strips, tiles, the fax decoder's lines).
constexpr tmsize_t kMaxAlloc = tmsize_t{256} << 20;

// The file in memory, as libtiff's client procedures see it.
struct Stream {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;
    std::string error;  // libtiff's first error
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<Stream*>(h);
    if (n <= 0 || s->pos >= s->size) return 0;
    const uint64_t k = std::min<uint64_t>(static_cast<uint64_t>(n), s->size - s->pos);
    std::memcpy(buf, s->data + s->pos, k);
    s->pos += k;
    return static_cast<tmsize_t>(k);
}
tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<Stream*>(h);
    uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
    if (off > UINT64_MAX - base) return static_cast<toff_t>(-1);
    s->pos = base + off;
    return s->pos;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t h) {
    return static_cast<Stream*>(h)->size;
}
int mapProc(thandle_t h, void** base, toff_t* size) {
    auto* s = static_cast<Stream*>(h);
    *base = const_cast<uint8_t*>(s->data);
    *size = s->size;
    return 1;
}
void unmapProc(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* s = static_cast<Stream*>(user);
    if (s->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        s->error = text;
        (void)module;
    }
    return 1;
}
int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct Closer {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

bool decodeTiff(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    out = Picture{};
    Stream stream{data, size, 0, {}};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        error = "not enough memory";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &stream);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxAlloc);
    std::unique_ptr<TIFF, Closer> tif(TIFFClientOpenExt("picture", "r", &stream, readProc,
                                                        writeProc, seekProc, closeProc, sizeProc,
                                                        mapProc, unmapProc, options.get()));
    if (!tif) {
        error =
            "it is not a TIFF picture" + (stream.error.empty() ? "" : " (" + stream.error + ")");
        return false;
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    if (width == 0 || height == 0) {
        error = "the picture is empty";
        return false;
    }
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels > kMaxPixels) {
        error = "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels, too large to be a design";
        return false;
    }
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[pixels]);
    if (!raster) {
        error = "Not enough memory";
        return false;
    }
    stream.error.clear();
    // A strip or tile that fails to decode is left out by the RGBA reader;
    // any error it reports refuses the picture instead.
    if (!TIFFReadRGBAImage(tif.get(), width, height, raster.get(), 0) || !stream.error.empty()) {
        error = "TIFF library error" + (stream.error.empty() ? "" : ": " + stream.error);
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bottomUp = true;
    // Raster pixels hold red, green, blue and alpha bytes: the low three are
    // the model's colour.
    out.colour.assign(raster.get(), raster.get() + pixels);
    for (uint32_t& c : out.colour) c &= 0xFFFFFF;
    return true;
}

ReadResult TiffReader::read(const uint8_t* data, size_t size, DesignModel& d,
                            const ReadOptions& options) const {
    Picture p;
    std::string error;
    if (!decodeTiff(data, size, p, error)) {
        ReadResult r;
        return r.failed(error);
    }
    return readBilevel(p, d, options, false);
}

}  // namespace wp
