// The readers of pictures and WIF drafts on the largest design the model
// holds (3520 warp ends x 5000 picks), each through the common load and as a
// ratio to the work it cannot avoid:
// - a picture load (BMP, TIFF, JPEG) to its decoder alone decoding the same
//   file; goal: at most 1.5 (thresholding and filling cost at most half the decode);
// - a WIF load with treadling to one pass that reads the same file and splits
//   it into lines; goal: at most 4.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/session.h"
#include "import/bmp.h"
#include "import/jpeg.h"
#include "import/load.h"
#include "import/tiff.h"
#include "import/wifwriter.h"
#include "tools/image.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWarps = 3520, kWefts = 5000;

// A jacquard design as a weaver draws it: a dense pattern at one pixel a warp end.
bool dark(int x, int y) {
    const unsigned h = static_cast<unsigned>(y) * 2654435761u ^ static_cast<unsigned>(x) * 40503u;
    return ((h >> 13) & 3) == 0 || (x + y) % 7 == 0 ||
           ((x / 40 + y / 40) % 2 == 0 && (x + 2 * y) % 5 == 0);
}

const fs::path& folder() {
    static const fs::path dir = [] {
        const fs::path d = fs::temp_directory_path() / "wp_bench_readers";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::string save(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path p = folder() / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p.string();
}

const wp::RgbImage& picture() {
    static const wp::RgbImage img = [] {
        wp::RgbImage i(kWarps, kWefts);
        for (int y = 0; y < kWefts; ++y)
            for (int x = 0; x < kWarps; ++x) i.set(x, y, dark(x, y) ? 0x201810u : 0xF0F0F8u);
        return i;
    }();
    return img;
}

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::vector<uint8_t> out;
    std::string error;
    wp::readWholeFile(path, out, error);
    return out;
}

// This thread's processor time (user and system) in seconds: on a machine
// shared with other work, the fair measure of what a load costs.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Times the load of `path` through the common load against `baseline`, run on
// the same file in the same iteration: processor time, and wall time beside it.
template <typename Baseline>
void ratio(benchmark::State& state, const std::string& path, wp::FileType type, Baseline baseline) {
    wp::SilentUserInterface ui;
    wp::Session s(ui, "/nonexistent/lanset.ini");
    s.design().hw.hookCount = wp::kMaxHooks;
    s.design().hw.moduleCount = wp::kMaxModules;
    wp::DesignLoader loader(s);
    loader.resetController = false;
    double base = 0, load = 0, baseWall = 0, loadWall = 0;
    for (auto _ : state) {
        const double c0 = cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        baseline();
        const double c1 = cpuSeconds();
        const auto t1 = std::chrono::steady_clock::now();
        const bool ok = loader.reload(path, type);
        const double c2 = cpuSeconds();
        const auto t2 = std::chrono::steady_clock::now();
        if (!ok || s.design().header.warps() != kWarps || s.design().header.wefts() != kWefts) {
            state.SkipWithError("the design did not load");
            return;
        }
        base += c1 - c0;
        load += c2 - c1;
        baseWall += std::chrono::duration<double>(t1 - t0).count();
        loadWall += std::chrono::duration<double>(t2 - t1).count();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["base_ms"] = 1000 * base / n;
    state.counters["load_ms"] = 1000 * load / n;
    state.counters["load_over_base"] = load / base;
    state.counters["wall_load_over_base"] = loadWall / baseWall;
}

template <typename Decode>
void pictureRatio(benchmark::State& state, const std::string& path, wp::FileType type,
                  Decode decode) {
    const std::vector<uint8_t> bytes = bytesOf(path);
    ratio(state, path, type, [&] {
        wp::Picture p;
        std::string error;
        if (!decode(bytes.data(), bytes.size(), p, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(p.width);
    });
}

void BM_Bmp24(benchmark::State& state) {
    static const std::string path = save("big24.bmp", wp::encodeBmp(picture()));
    pictureRatio(state, path, wp::FileType::Bmp, wp::decodeBmp);
}
void BM_Bmp1(benchmark::State& state) {
    static const std::string path = [] {
        wp::IndexedImage img(kWarps, kWefts);
        img.palette = {0xFFFFFF, 0};
        for (int y = 0; y < kWefts; ++y)
            for (int x = 0; x < kWarps; ++x) img.at(x, y) = dark(x, y) ? 1 : 0;
        return save("big1.bmp", wp::encodeBmp(img, 1));
    }();
    pictureRatio(state, path, wp::FileType::Bmp, wp::decodeBmp);
}
void BM_TiffFax(benchmark::State& state) {
    static const std::string path =
        save("bigfax.tif", wp::encodeTiff(picture(), wp::TiffKind::FaxG4));
    pictureRatio(state, path, wp::FileType::Tiff, wp::decodeTiff);
}
void BM_TiffRgb(benchmark::State& state) {
    static const std::string path =
        save("bigrgb.tif", wp::encodeTiff(picture(), wp::TiffKind::Rgb));
    pictureRatio(state, path, wp::FileType::Tiff, wp::decodeTiff);
}
void BM_Jpeg(benchmark::State& state) {
    static const std::string path = save("big.jpg", wp::encodeJpeg(picture(), {90, false, false}));
    pictureRatio(state, path, wp::FileType::Jpeg, wp::decodeJpeg);
}

// A 16-shaft draft over 3520 ends and 5000 picks, a treadle a pick, warp and
// weft colours by thread as weaving programs write them.
void BM_WifTreadled(benchmark::State& state) {
    static const std::string path = [] {
        wp::WifDraft w;
        w.warps = kWarps;
        w.wefts = kWefts;
        w.shafts = 16;
        w.treadles = 16;
        w.threading = [](int e) {
            return std::vector<int>{(e - 1) % 32 < 16 ? (e - 1) % 16 + 1 : 16 - (e - 1) % 16};
        };
        w.tieUp = [](int t) {
            std::vector<int> s;
            for (int k = 0; k < 16; ++k)
                if ((k - t + 32) % 16 < 5 || (k + t) % 7 == 0) s.push_back(k + 1);
            return s;
        };
        w.treadling = [](int p) { return std::vector<int>{(p * 5 + p / 16) % 16 + 1}; };
        w.colours = {{250, 250, 240}, {30, 30, 120}, {160, 20, 40}, {20, 100, 40}};
        w.warpColour = 1;
        w.weftColour = 2;
        w.warpColourOf = [](int e) { return (e - 1) / 40 % 3 + 1; };
        w.weftColourOf = [](int p) { return (p - 1) / 24 % 2 ? 4 : 2; };
        const std::string text = wp::writeWif(w);
        return save("big.wif", {text.begin(), text.end()});
    }();
    ratio(state, path, wp::FileType::Wif, [&] {
        std::vector<uint8_t> bytes;
        std::string error;
        wp::readWholeFile(path, bytes, error);
        std::vector<std::string> lines;
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            lines.emplace_back(text.substr(start, end - start));
            start = end + 1;
        }
        benchmark::DoNotOptimize(lines.data());
    });
}

BENCHMARK(BM_Bmp24)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bmp1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TiffFax)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TiffRgb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Jpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WifTreadled)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
