#include "tests/support/loadtest.h"

#include <unistd.h>

#include <fstream>

namespace wp::test {
namespace {

std::filesystem::path freshFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "wp_load_" + std::to_string(::getpid());
    if (info) name += std::string("_") + info->test_suite_name() + "_" + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    const auto dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

LoadTest::LoadTest() : dir(freshFolder()), s(ui, (dir / "lanset.ini").string()) {
    loader.resetController = false;
    // A JX3 loom of one module until a test says otherwise.
    settings("");
}

LoadTest::~LoadTest() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void LoadTest::settings(const std::string& text) {
    std::ofstream(dir / "lanset.ini") << text;
    s.loadSettings(false);
}

std::string LoadTest::write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string LoadTest::writeText(const std::string& name, const std::string& text) {
    return write(name, std::vector<uint8_t>(text.begin(), text.end()));
}

bool LoadTest::open(const std::string& path, FileType type) {
    ui.fileToChoose = path;
    return loader.openCommand(type);
}

}  // namespace wp::test
