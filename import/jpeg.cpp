#include "import/jpeg.h"

// libjpeg's headers need these first.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <new>
#include <vector>

namespace wp {
namespace {

constexpr uint64_t kMaxPixels = uint64_t{64} << 20;
// Progressive pictures need a few scans; thousands are an attack on the decoder.
constexpr int kMaxScans = 1000;
// What the decoder may take for its own buffers (a progressive picture keeps
// all its coefficients).
constexpr long kMaxMemory = 768L << 20;

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to the decoder with the message kept.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 64];
    char warning[JMSG_LENGTH_MAX];
    int warnings;
};

void onError(j_common_ptr c) {
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    (*c->err->format_message)(c, e->message);
    std::longjmp(e->jump, 1);
}

void onMessage(j_common_ptr c, int level) {
    auto* e = reinterpret_cast<ErrorManager*>(c->err);
    // Level -1 is a warning about damaged data; stray bytes between markers
    // harm nothing.
    if (level >= 0 || c->err->msg_code == JWRN_EXTRANEOUS_DATA) return;
    if (e->warnings++ == 0) (*c->err->format_message)(c, e->warning);
}

void onProgress(j_common_ptr c) {
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->input_scan_number > kMaxScans) {
        auto* e = reinterpret_cast<ErrorManager*>(c->err);
        std::snprintf(e->message, sizeof e->message, "the picture has more than %d scans",
                      kMaxScans);
        std::longjmp(e->jump, 1);
    }
}

// What the decoder keeps outside the frame that may be jumped out of.
struct Decoding {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    std::vector<uint8_t> scanline;
};

// Only trivially destructible locals here: a jump from libjpeg skips no
// destructors. Returns the error text, or nullptr when the picture was read.
const char* decode(Decoding& s, const uint8_t* data, size_t size, Picture& out) {
    jpeg_decompress_struct& cinfo = s.cinfo;
    cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = onError;
    s.err.pub.emit_message = onMessage;
    s.err.warnings = 0;
    s.err.message[0] = s.err.warning[0] = '\0';
    if (setjmp(s.err.jump)) return s.err.message;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxMemory;
    s.progress.progress_monitor = onProgress;
    cinfo.progress = &s.progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        std::snprintf(s.err.message, sizeof s.err.message,
                      "the picture is %u x %u pixels, too large to be a design", cinfo.image_width,
                      cinfo.image_height);
        return s.err.message;
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t w = cinfo.output_width, h = cinfo.output_height;
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.indexed = grey;
    if (grey) {
        out.palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) out.palette[i] = i | i << 8 | i << 16;
        out.index.resize(w * h);
    } else {
        out.colour.resize(w * h);
        s.scanline.resize(w * static_cast<size_t>(cinfo.output_components));
    }
    // Adobe writes CMYK inverted (255 is no ink).
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const size_t y = cinfo.output_scanline;
        JSAMPROW row = grey ? &out.index[y * w] : s.scanline.data();
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (grey) continue;
        uint32_t* o = &out.colour[y * w];
        const uint8_t* p = s.scanline.data();
        if (!cmyk) {
            for (size_t x = 0; x < w; ++x, p += 3)
                o[x] = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16;
            continue;
        }
        for (size_t x = 0; x < w; ++x, p += 4) {
            uint32_t c[4] = {p[0], p[1], p[2], p[3]};
            if (!inverted)
                for (uint32_t& v : c) v = 255 - v;
            o[x] = (c[0] * c[3] / 255) | (c[1] * c[3] / 255) << 8 | (c[2] * c[3] / 255) << 16;
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (s.err.warnings > 0) {
        std::snprintf(s.err.message, sizeof s.err.message, "its data is damaged (%s)",
                      s.err.warning);
        return s.err.message;
    }
    return nullptr;
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    out = Picture{};
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        error = "it is not a JPEG picture";
        return false;
    }
    auto s = std::unique_ptr<Decoding>(new (std::nothrow) Decoding{});
    if (!s) {
        error = "not enough memory";
        return false;
    }
    const char* why = decode(*s, data, size, out);
    jpeg_destroy_decompress(&s->cinfo);
    if (why) {
        error = why;
        out = Picture{};
        return false;
    }
    if (out.width <= 0 || out.height <= 0) {
        error = "the picture is empty";
        return false;
    }
    return true;
}

ReadResult JpegReader::read(const uint8_t* data, size_t size, DesignModel& d,
                            const ReadOptions& options) const {
    Picture p;
    std::string error;
    if (!decodeJpeg(data, size, p, error)) {
        ReadResult r;
        return r.failed(error);
    }
    return readBilevel(p, d, options, false);
}

}  // namespace wp
