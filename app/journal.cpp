#include "app/journal.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "model/inifile.h"

namespace wp {
namespace {

constexpr const char* kSection = "Weaving";
constexpr const char* kJournalName = "weaving.journal";

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string journalPathFor(const std::string& settingsFile) {
    const auto dir = std::filesystem::path(settingsFile).parent_path();
    return (dir / kJournalName).string();
}

int nextPickInRange(int w, int startWeft, int endWeft, bool reverse, bool loop) {
    if (w == 0) return reverse ? endWeft : startWeft;
    if (reverse) {
        if (w - 1 >= startWeft) return w - 1;
        return loop ? endWeft : 0;
    }
    if (w + 1 <= endWeft) return w + 1;
    return loop ? startWeft : 0;
}

bool Journal::record(const JournalEntry& e) {
    // A name the file's lines cannot hold is not written half.
    if (e.designFile.find_first_of("\r\n") != std::string::npos) return false;
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "FileType=%d\npick=%d\nStartWeft=%d\nEndWeft=%d\nReverse=%d\nLoop=%d\nTabby=%d\n"
                  "OnLoom=%d\n",
                  static_cast<int>(e.designType), e.pick, e.startWeft, e.endWeft, e.reverse, e.loop,
                  e.tabby, e.onLoom);
    // Quoted: the reader keeps a name's spaces inside the quotes.
    std::string text =
        std::string("[") + kSection + "]\nFileName=\"" + e.designFile + "\"\n" + numbers;

    // The spare file beside the journal is written over in place and the two
    // are swapped: a file that replaces another by rename would make the
    // filesystem write it out first, which costs a disk's latency per pick.
    const std::string beside = path_ + ".new";
    const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) > text.size())
        text.append(static_cast<size_t>(st.st_size) - text.size(), '\n');  // blank lines: ignored
    const bool written = writeAll(fd, text);
    if (::close(fd) != 0 || !written) return false;
    if (::renameat2(AT_FDCWD, beside.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) != 0 &&
        ::rename(beside.c_str(), path_.c_str()) != 0)
        return false;
    recorded_ = true;
    unflushed_ = true;
    return true;
}

void Journal::flush() {
    if (!unflushed_) return;
    unflushed_ = false;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::close(fd);
    }
    // The rename lives in the folder.
    const auto dir = std::filesystem::path(path_).parent_path();
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

std::optional<JournalEntry> Journal::read() const {
    IniFile ini;
    if (!ini.load(path_)) return std::nullopt;
    JournalEntry e;
    e.designFile = ini.readString(kSection, "FileName", "");
    const int type = ini.readInt(kSection, "FileType", 0);
    e.pick = ini.readInt(kSection, "pick", 0);
    e.startWeft = ini.readInt(kSection, "StartWeft", 0);
    e.endWeft = ini.readInt(kSection, "EndWeft", 0);
    e.reverse = ini.readInt(kSection, "Reverse", 0) != 0;
    e.loop = ini.readInt(kSection, "Loop", 0) != 0;
    e.tabby = ini.readInt(kSection, "Tabby", 0) != 0;
    e.onLoom = ini.readInt(kSection, "OnLoom", 0) != 0;
    // A journal that does not make sense is no position to offer.
    if (e.designFile.empty() || type < 0 || type > static_cast<int>(FileType::Wif) ||
        e.startWeft < 1 || e.endWeft < e.startWeft || e.pick < e.startWeft || e.pick > e.endWeft)
        return std::nullopt;
    e.designType = static_cast<FileType>(type);
    return e;
}

void Journal::remove() {
    ::unlink(path_.c_str());
    ::unlink((path_ + ".new").c_str());
    recorded_ = false;
    unflushed_ = false;
}

}  // namespace wp
