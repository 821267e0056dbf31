#include "model/inifile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace wp {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b])) ++b;
    while (e > b && isSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Section name of a "[name]" line (a comment may follow it), or nothing.
std::optional<std::string_view> sectionOf(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view rest = trim(t.substr(close + 1));
    if (!rest.empty() && rest[0] != ';' && rest[0] != '#') return std::nullopt;
    return trim(t.substr(1, close - 1));
}

bool isComment(std::string_view t) {
    return t.empty() || t[0] == ';' || t[0] == '#';
}

std::string_view unquoted(std::string_view v) {
    if (v.size() >= 2 &&
        ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        return v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && std::tolower(static_cast<unsigned char>(a[i])) !=
                                std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IniFile::load(const std::string& path, int* errorCode) {
    parse({});
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

namespace {

// Calls f(line) for each line of text[begin, end), without its line end.
template <typename F>
void eachLine(std::string_view text, size_t begin, size_t end, F f) {
    // parse() has turned every line end into "\n" or "\r\n".
    const char* const base = text.data();
    size_t start = begin;
    while (start < end) {
        // Lines are short: a plain walk beats a library call a line.
        size_t stop = start;
        while (stop < end && base[stop] != '\n') ++stop;
        size_t length = stop - start;
        if (length > 0 && base[start + length - 1] == '\r') --length;
        if (!f(text.substr(start, length), start)) return;
        start = stop + 1;
    }
}

}  // namespace

void IniFile::parse(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    text_.assign(text);
    sections_.clear();
    // A line ended by a lone CR (old Macintosh files) gets a LF instead.
    const size_t n = text_.size();
    for (size_t i = 0; i < n; ++i)
        if (text_[i] == '\r' && (i + 1 == n || text_[i + 1] != '\n')) text_[i] = '\n';
    // Lines before the first section belong to none.
    eachLine(text_, 0, text_.size(), [&](std::string_view line, size_t at) {
        size_t first = 0;
        while (first < line.size() && isSpace(line[first])) ++first;
        if (first == line.size() || line[first] != '[') return true;  // most lines: no header
        if (const auto name = sectionOf(line)) {
            if (!sections_.empty()) sections_.back().end = at;
            sections_.push_back({static_cast<size_t>(name->data() - text_.data()), name->size(),
                                 at + line.size(), text_.size()});
        }
        return true;
    });
}

template <typename F>
void IniFile::scan(const Section& s, F f) const {
    eachLine(text_, s.begin, s.end, [&](std::string_view line, size_t) {
        const std::string_view t = trim(line);
        if (isComment(t)) return true;
        const size_t eq = t.find('=');
        if (eq == std::string_view::npos) return true;
        return f(trim(t.substr(0, eq)), trim(t.substr(eq + 1)));
    });
}

bool IniFile::hasSection(std::string_view section) const {
    for (const Section& s : sections_)
        if (sameName(nameOf(s), section)) return true;
    return false;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    std::optional<std::string> found;
    for (const Section& s : sections_) {
        if (!sameName(nameOf(s), section)) continue;
        scan(s, [&](std::string_view k, std::string_view v) {
            if (!sameName(k, key)) return true;
            found = std::string(unquoted(v));
            return false;
        });
        if (found) break;
    }
    return found;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                const std::string& def) const {
    auto v = value(section, key);
    return v ? *v : def;
}

int IniFile::readInt(std::string_view section, std::string_view key, int def) const {
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
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    forEachEntry(section, [&](std::string_view k, std::string_view v) { out.emplace_back(k, v); });
    return out;
}

void IniFile::forEachEntry(std::string_view section,
                           const std::function<void(std::string_view, std::string_view)>& f) const {
    for (const Section& s : sections_) {
        if (!sameName(nameOf(s), section)) continue;
        scan(s, [&](std::string_view k, std::string_view v) {
            f(k, v);
            return true;
        });
    }
}

std::vector<std::string_view> IniFile::sectionTexts(std::string_view section) const {
    std::vector<std::string_view> out;
    for (const Section& s : sections_)
        if (sameName(nameOf(s), section))
            out.push_back(std::string_view(text_).substr(s.begin, s.end - s.begin));
    return out;
}

std::vector<std::string> IniFile::lines() const {
    std::vector<std::string> out;
    eachLine(text_, 0, text_.size(), [&](std::string_view line, size_t) {
        out.emplace_back(line);
        return true;
    });
    return out;
}

void IniFile::setLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        text += l;
        text += "\r\n";
    }
    parse(text);
}

void IniFile::setValue(const std::string& section, const std::string& key,
                       const std::string& value) {
    std::vector<std::string> all = lines();
    const std::string entry = key + "=" + value;
    bool inSection = false;
    size_t lastOfSection = std::string::npos;
    for (size_t i = 0; i < all.size(); ++i) {
        if (auto s = sectionOf(all[i])) {
            inSection = sameName(*s, section);
            if (inSection) lastOfSection = i;
            continue;
        }
        if (!inSection) continue;
        const std::string_view t = trim(all[i]);
        if (!t.empty()) lastOfSection = i;
        if (isComment(t)) continue;
        const size_t eq = t.find('=');
        if (eq != std::string_view::npos && sameName(trim(t.substr(0, eq)), key)) {
            all[i] = entry;
            setLines(all);
            return;
        }
    }
    if (lastOfSection == std::string::npos) {
        if (!all.empty() && !trim(all.back()).empty()) all.emplace_back();
        all.push_back("[" + section + "]");
        all.push_back(entry);
    } else {
        all.insert(all.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1), entry);
    }
    setLines(all);
}

void IniFile::eraseSection(const std::string& section) {
    std::vector<std::string> kept;
    bool inSection = false;
    for (auto& line : lines()) {
        if (auto s = sectionOf(line)) inSection = sameName(*s, section);
        if (!inSection) kept.push_back(std::move(line));
    }
    setLines(kept);
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& l : lines()) {
        out += l;
        out += "\r\n";
    }
    return out;
}

bool IniFile::save(const std::string& path, std::string* error) const {
    return writeFileAtomically(path, text(), error);
}

std::optional<long long> parseWholeInt(std::string_view text) {
    const std::string_view t = trim(text);
    if (t.empty()) return std::nullopt;
    size_t i = 0;
    if (t[0] == '+' || t[0] == '-') i = 1;
    if (i == t.size() || t.size() - i > 12) return std::nullopt;
    long long v = 0;
    for (size_t k = i; k < t.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return std::nullopt;
        v = v * 10 + (t[k] - '0');
    }
    return t[0] == '-' ? -v : v;
}

namespace {

// The file a write to path replaces: path itself, or what a chain of symbolic
// links at path ends in. Empty (with errno set) when the chain does not end.
std::string writeTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n < 0) return {};
        const std::string link(buf, static_cast<size_t>(n));
        if (!link.empty() && link[0] == '/') {
            target = link;
        } else {
            const size_t slash = target.find_last_of('/');
            target =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
    }
    errno = ELOOP;
    return {};
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    const std::string target = writeTarget(path);
    if (target.empty()) return fail(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (error)
            *error = path + ": " +
                     (S_ISDIR(st.st_mode)    ? "is a folder"
                      : S_ISFIFO(st.st_mode) ? "is a FIFO"
                      : S_ISSOCK(st.st_mode) ? "is a socket"
                                             : "is a device") +
                     ", not a file to replace";
        return false;
    }
    std::string tmp = target + ".tmpXXXXXX";
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
    // The replacement keeps the permissions of the file it replaces.
    const mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    if (::fsync(fd) != 0 || ::fchmod(fd, mode) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = e;
        return fail(path);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(path);
    }
    return true;
}

}  // namespace wp
