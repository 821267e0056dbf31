#include "model/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace wp {
namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Section name of a "[name]" line, or nothing.
std::optional<std::string> sectionOf(const std::string& line) {
    const std::string t = trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') return trim(t.substr(1, t.size() - 2));
    return std::nullopt;
}

bool isComment(const std::string& t) { return t.empty() || t[0] == ';' || t[0] == '#'; }

}  // namespace

bool IniFile::load(const std::string& path, int* errorCode) {
    lines_.clear();
    auto fail = [&](int e) {
        if (errorCode) *errorCode = e;
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    std::string text;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(e);
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    parse(text);
    if (errorCode) *errorCode = 0;
    return true;
}

void IniFile::parse(const std::string& text) {
    lines_.clear();
    std::string line;
    // Editors on Windows start UTF-8 files with a byte-order mark; it is not
    // part of the first section's name.
    const bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    std::istringstream in(bom ? text.substr(3) : text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

std::optional<std::string> IniFile::value(const std::string& section,
                                          const std::string& key) const {
    bool inSection = false;
    for (const auto& line : lines_) {
        if (auto s = sectionOf(line)) {
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection) continue;
        const std::string t = trim(line);
        if (isComment(t)) continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos || !sameName(trim(t.substr(0, eq)), key)) continue;
        std::string v = trim(t.substr(eq + 1));
        if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') ||
                              (v.front() == '\'' && v.back() == '\'')))
            v = v.substr(1, v.size() - 2);
        return v;
    }
    return std::nullopt;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

int IniFile::readInt(const std::string& section, const std::string& key, int def) const {
    auto v = value(section, key);
    if (!v) return def;
    const char* p = v->c_str();
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || n < INT32_MIN || n > INT32_MAX) return def;
    return static_cast<int>(n);
}

std::vector<std::pair<std::string, std::string>> IniFile::sectionEntries(
    const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    bool inSection = false;
    for (const auto& line : lines_) {
        if (auto s = sectionOf(line)) {
            inSection = sameName(*s, section);
            continue;
        }
        const std::string t = trim(line);
        if (!inSection || isComment(t)) continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        out.emplace_back(trim(t.substr(0, eq)), trim(t.substr(eq + 1)));
    }
    return out;
}

void IniFile::setValue(const std::string& section, const std::string& key,
                       const std::string& value) {
    const std::string entry = key + "=" + value;
    bool inSection = false;
    size_t lastOfSection = std::string::npos;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = sectionOf(lines_[i])) {
            inSection = sameName(*s, section);
            if (inSection) lastOfSection = i;
            continue;
        }
        if (!inSection) continue;
        const std::string t = trim(lines_[i]);
        if (!t.empty()) lastOfSection = i;
        if (isComment(t)) continue;
        const size_t eq = t.find('=');
        if (eq != std::string::npos && sameName(trim(t.substr(0, eq)), key)) {
            lines_[i] = entry;
            return;
        }
    }
    if (lastOfSection == std::string::npos) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(entry);
    } else {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1), entry);
    }
}

void IniFile::eraseSection(const std::string& section) {
    std::vector<std::string> kept;
    bool inSection = false;
    for (const auto& line : lines_) {
        if (auto s = sectionOf(line)) inSection = sameName(*s, section);
        if (!inSection) kept.push_back(line);
    }
    lines_ = std::move(kept);
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += "\r\n";
    }
    return out;
}

bool IniFile::save(const std::string& path, std::string* error) const {
    return writeFileAtomically(path, text(), error);
}

std::optional<long long> parseWholeInt(const std::string& text) {
    const std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    size_t i = 0;
    if (t[0] == '+' || t[0] == '-') i = 1;
    if (i == t.size() || t.size() - i > 12) return std::nullopt;
    for (size_t k = i; k < t.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return std::nullopt;
    return std::stoll(t);
}

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    std::string tmp = path + ".tmpXXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return fail(path);
    tmp.assign(name.data());
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            errno = e;
            return fail(path);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::fchmod(fd, 0644) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = e;
        return fail(path);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(path);
    }
    return true;
}

}  // namespace wp
