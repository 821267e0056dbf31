#include "tools/image.h"

#include <png.h>
// libjpeg's headers need these first.
#include <jpeglib.h>
#include <tiffio.h>
#include <csetjmp>
#include <cstdio>

#include <algorithm>
#include <cstring>
#include <memory>
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

namespace {

void putLe(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
}

// File and info headers of a bottom-up BMP, with room for the palette.
std::vector<uint8_t> bmpHeaders(int width, int height, int bits, size_t paletteEntries) {
    const size_t stride = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32 * 4;
    const size_t pixelsAt = 54 + 4 * paletteEntries;
    std::vector<uint8_t> out(pixelsAt + stride * static_cast<size_t>(height), 0);
    out[0] = 'B';
    out[1] = 'M';
    putLe(out, 2, static_cast<uint32_t>(out.size()), 4);
    putLe(out, 10, static_cast<uint32_t>(pixelsAt), 4);
    putLe(out, 14, 40, 4);
    putLe(out, 18, static_cast<uint32_t>(width), 4);
    putLe(out, 22, static_cast<uint32_t>(height), 4);
    putLe(out, 26, 1, 2);
    putLe(out, 28, static_cast<uint32_t>(bits), 2);
    putLe(out, 34, static_cast<uint32_t>(stride * static_cast<size_t>(height)), 4);
    putLe(out, 38, 2835, 4);  // 72 dots an inch
    putLe(out, 42, 2835, 4);
    putLe(out, 46, static_cast<uint32_t>(paletteEntries), 4);
    return out;
}

}  // namespace

std::vector<uint8_t> encodeBmp(const IndexedImage& img, int bitsPerPixel) {
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8) return {};
    const size_t entries = std::min<size_t>(img.palette.size(), size_t{1} << bitsPerPixel);
    std::vector<uint8_t> out = bmpHeaders(img.width, img.height, bitsPerPixel, entries);
    for (size_t i = 0; i < entries; ++i) {
        const uint32_t c = img.palette[i];
        out[54 + 4 * i] = static_cast<uint8_t>(c >> 16);
        out[55 + 4 * i] = static_cast<uint8_t>(c >> 8);
        out[56 + 4 * i] = static_cast<uint8_t>(c);
    }
    const size_t stride =
        (static_cast<size_t>(img.width) * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4;
    const size_t pixelsAt = 54 + 4 * entries;
    for (int y = 0; y < img.height; ++y) {
        uint8_t* row = &out[pixelsAt + stride * static_cast<size_t>(img.height - 1 - y)];
        for (int x = 0; x < img.width; ++x) {
            const unsigned v = img.pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) +
                                          static_cast<size_t>(x)];
            const int bit = x * bitsPerPixel;
            row[bit / 8] |= static_cast<uint8_t>(v << (8 - bitsPerPixel - bit % 8));
        }
    }
    return out;
}

std::vector<uint8_t> encodeBmp(const RgbImage& img) {
    std::vector<uint8_t> out = bmpHeaders(img.width, img.height, 24, 0);
    const size_t stride = (static_cast<size_t>(img.width) * 24 + 31) / 32 * 4;
    for (int y = 0; y < img.height; ++y) {
        uint8_t* row = &out[54 + stride * static_cast<size_t>(img.height - 1 - y)];
        for (int x = 0; x < img.width; ++x) {
            const uint32_t c = img.at(x, y);
            row[3 * x] = static_cast<uint8_t>(c >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c);
        }
    }
    return out;
}

namespace {

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr c) {
    std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
}

struct JpegEncoding {
    jpeg_compress_struct cinfo;
    JpegError err;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> row;
};

// Only trivially destructible locals: libjpeg may jump out of here.
bool compress(JpegEncoding& s, const RgbImage& img, const JpegOptions& o) {
    jpeg_compress_struct& cinfo = s.cinfo;
    cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = onJpegError;
    if (setjmp(s.err.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &s.buffer, &s.size);
    cinfo.image_width = static_cast<JDIMENSION>(img.width);
    cinfo.image_height = static_cast<JDIMENSION>(img.height);
    cinfo.input_components = o.grey ? 1 : 3;
    cinfo.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    if (o.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    s.row.resize(static_cast<size_t>(img.width) * static_cast<size_t>(cinfo.input_components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* in = &img.pixels[static_cast<size_t>(cinfo.next_scanline) *
                                        static_cast<size_t>(img.width) * 3];
        if (o.grey)
            for (size_t x = 0; x < static_cast<size_t>(img.width); ++x) s.row[x] = in[3 * x + 1];
        else
            std::copy(in, in + s.row.size(), s.row.begin());
        JSAMPROW row = s.row.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const RgbImage& img, const JpegOptions& options) {
    if (img.width <= 0 || img.height <= 0) return {};
    auto s = std::make_unique<JpegEncoding>();
    const bool ok = compress(*s, img, options);
    std::vector<uint8_t> out;
    if (ok) out.assign(s->buffer, s->buffer + s->size);
    jpeg_destroy_compress(&s->cinfo);
    std::free(s->buffer);
    return out;
}

namespace {

// A growing file in memory for libtiff to write.
struct TiffSink {
    std::vector<uint8_t> bytes;
    uint64_t pos = 0;
    std::string error;
};

tmsize_t sinkRead(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<TiffSink*>(h);
    if (n <= 0 || s->pos >= s->bytes.size()) return 0;
    const size_t k = std::min<size_t>(static_cast<size_t>(n), s->bytes.size() - s->pos);
    std::memcpy(buf, s->bytes.data() + s->pos, k);
    s->pos += k;
    return static_cast<tmsize_t>(k);
}
tmsize_t sinkWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<TiffSink*>(h);
    if (n < 0) return -1;
    const size_t end = s->pos + static_cast<size_t>(n);
    if (end > s->bytes.size()) s->bytes.resize(end);
    std::memcpy(s->bytes.data() + s->pos, buf, static_cast<size_t>(n));
    s->pos = end;
    return n;
}
toff_t sinkSeek(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<TiffSink*>(h);
    const uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->bytes.size() : 0;
    s->pos = base + off;
    return s->pos;
}
int sinkClose(thandle_t) {
    return 0;
}
toff_t sinkSize(thandle_t h) {
    return static_cast<TiffSink*>(h)->bytes.size();
}
int noMap(thandle_t, void**, toff_t*) {
    return 0;
}
void noUnmap(thandle_t, void*, toff_t) {}

int sinkError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    auto* s = static_cast<TiffSink*>(user);
    if (s->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        s->error = text;
    }
    return 1;
}

}  // namespace

std::vector<uint8_t> encodeTiff(const RgbImage& img, TiffKind kind, std::string* error) {
    TiffSink sink;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, sinkError, &sink);
    TIFF* tif = TIFFClientOpenExt("picture", "w", &sink, sinkRead, sinkWrite, sinkSeek, sinkClose,
                                  sinkSize, noMap, noUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tif) {
        if (error) *error = sink.error;
        return {};
    }
    const auto w = static_cast<uint32_t>(img.width), h = static_cast<uint32_t>(img.height);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::vector<uint8_t> row;
    switch (kind) {
        case TiffKind::Rgb:
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
            row.resize(static_cast<size_t>(w) * 3);
            break;
        case TiffKind::FaxG4:
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
            row.resize((static_cast<size_t>(w) + 7) / 8);
            break;
        case TiffKind::Grey8:
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            row.resize(w);
            break;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    bool ok = true;
    for (uint32_t y = 0; y < h && ok; ++y) {
        const uint8_t* in = &img.pixels[static_cast<size_t>(y) * w * 3];
        switch (kind) {
            case TiffKind::Rgb:
                std::copy(in, in + row.size(), row.begin());
                break;
            case TiffKind::FaxG4:
                // Black where the pixel is dark (its green below half).
                std::fill(row.begin(), row.end(), 0);
                for (uint32_t x = 0; x < w; ++x)
                    if (in[3 * x + 1] < 128) row[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
                break;
            case TiffKind::Grey8:
                for (uint32_t x = 0; x < w; ++x) row[x] = in[3 * x + 1];
                break;
        }
        ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    }
    TIFFClose(tif);
    if (!ok || !sink.error.empty()) {
        if (error) *error = sink.error;
        return {};
    }
    return sink.bytes;
}

}  // namespace wp
