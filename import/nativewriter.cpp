#include "import/nativewriter.h"

#include <cstring>

#include "model/inifile.h"

namespace wp {
namespace {

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void putKey(std::vector<uint8_t>& out, const char* key) {
    for (const char* p = key; *p; ++p) out.push_back(static_cast<uint8_t>(*p));
}

void putItem(std::vector<uint8_t>& out, unsigned value) {
    put16(out, 0x2001);
    put16(out, value);
}

void putRgb(std::vector<uint8_t>& out, uint32_t c) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>((c >> 16) & 0xFF));
}

}  // namespace

std::vector<uint8_t> writeNativeDraft(const NativeDraft& d) {
    std::vector<uint8_t> out;
    putKey(out, "WeavePilot draft");
    const std::pair<const char*, int> header[] = {
        {"warps", d.warps},       {"wefts", d.wefts}, {"shafts", d.shafts},
        {"treadles", d.treadles}, {"loom", d.loom},
    };
    for (const auto& [key, value] : header) {
        putKey(out, key);
        putItem(out, static_cast<unsigned>(value));
    }

    // File warp end i is warp end warps - i; file weft j is pick wefts - j.
    const int W = d.warps, F = d.wefts;
    if (d.warpColour) {
        putKey(out, "Color");
        for (int i = 0; i < W; ++i) {
            putRgb(out, d.warpColour(W - i));
            put16(out, 0);
        }
        put16(out, 0);
        put16(out, 0);
        for (int j = 0; j < F; ++j) {
            put16(out, 0);
            putRgb(out, d.weftColour ? d.weftColour(F - j) : 0xFFFFFF);
        }
        if (d.shafts != 0) {
            out.insert(out.end(), 6, 0);
            for (int i = 0; i < W; ++i)
                putItem(out, d.threading ? static_cast<unsigned>(d.threading(W - i)) : 0);
            const int shaftBytes = (d.shafts + 7) / 8;
            if (d.loom == 608) {
                putItem(out, static_cast<unsigned>(d.treadles * shaftBytes));
                for (int t = 0; t < d.treadles; ++t) {
                    for (int b = 0; b < shaftBytes; ++b) {
                        uint8_t v = 0;
                        for (int k = 0; k < 8; ++k)
                            if (d.tieUp && b * 8 + k < d.shafts && d.tieUp(t, b * 8 + k))
                                v |= static_cast<uint8_t>(1u << k);
                        out.push_back(v);
                    }
                }
                out.insert(out.end(), 6, 0);
                for (int j = 0; j < F; ++j)
                    putItem(out,
                            d.treadleOfPick ? static_cast<unsigned>(d.treadleOfPick(F - j)) : 0);
            } else {
                const int rowBytes = (F + 7) / 8;
                putItem(out, static_cast<unsigned>(d.treadles * rowBytes));
                for (int t = 0; t < d.treadles; ++t) {
                    for (int b = 0; b < rowBytes; ++b) {
                        uint8_t v = 0;
                        for (int k = 0; k < 8; ++k) {
                            const int j = b * 8 + k;
                            if (j < F && d.liftPlan && d.liftPlan(t, F - j))
                                v |= static_cast<uint8_t>(1u << k);
                        }
                        out.push_back(v);
                    }
                }
            }
        }
    }

    if (d.omitStruct) return out;
    putKey(out, "Struct");
    const size_t stride = static_cast<size_t>((F + 7) / 8);
    const size_t length = static_cast<size_t>(W) * stride;
    // The length field is signed 16-bit: larger designs carry what fits.
    put16(out, static_cast<unsigned>(length > 32767 ? 32767 : length));
    const size_t start = out.size();
    out.resize(start + length, 0);
    for (int i = 0; i < W; ++i) {
        for (int j = 0; j < F; ++j) {
            if (d.lifted && d.lifted(F - j, W - i))
                out[start + static_cast<size_t>(i) * stride + static_cast<size_t>(j / 8)] |=
                    static_cast<uint8_t>(1u << (j % 8));
        }
    }
    return out;
}

bool saveNativeDraft(const NativeDraft& d, const std::string& path) {
    const std::vector<uint8_t> bytes = writeNativeDraft(d);
    return writeFileAtomically(path, std::string(bytes.begin(), bytes.end()), nullptr);
}

}  // namespace wp
