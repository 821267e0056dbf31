#include "loom/serialdevices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace wp {
namespace {

namespace fs = std::filesystem;

// Names in a folder that start with prefix, in natural order (ttyS2 before ttyS10).
std::vector<std::string> namesStartingWith(const fs::path& dir, const std::string& prefix) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0) out.push_back(name);
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return out;
}

// A built-in port with no UART behind it reports type 0 (unknown).
bool uartPresent(const fs::path& root, const std::string& name) {
    std::ifstream in(root / "sys/class/tty" / name / "type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

}  // namespace

std::vector<SerialDevice> listSerialDevices(const std::string& rootText) {
    const fs::path root(rootText);
    const fs::path dev = root / "dev";
    std::vector<SerialDevice> out;
    std::set<std::string> covered;  // device names a stable link already stands for
    std::error_code ec;
    const fs::path byId = dev / "serial/by-id";
    for (const auto& name : namesStartingWith(byId, "")) {
        const fs::path link = byId / name;
        const fs::path target = fs::weakly_canonical(link, ec);
        const std::string targetName = target.filename().string();
        covered.insert(targetName);
        out.push_back(
            {("/dev/serial/by-id/" + name), "USB adapter " + name + " (" + targetName + ")"});
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const auto& name : namesStartingWith(dev, prefix))
            if (!covered.count(name)) out.push_back({"/dev/" + name, "USB serial " + name});
    for (const auto& name : namesStartingWith(dev, "ttyS"))
        if (uartPresent(root, name)) out.push_back({"/dev/" + name, "serial port " + name});
    return out;
}

}  // namespace wp
