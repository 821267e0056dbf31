#include "import/load.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "import/native.h"

namespace wp {

const char* fileFilter(FileType type) {
    switch (type) {
        case FileType::Native: return "Dobby|*.DOB|Countermarche|*.CTM";
        case FileType::Imp: return "Import|*.IMP";
        case FileType::Dw1: return "Pattrix|*.DW1";
        case FileType::Bmp: return "BMPImage|*.BMP";
        case FileType::Tiff: return "TIFFImage|*.TIF";
        case FileType::Jpeg: return "JPEGImage|*.JPG";
        case FileType::Wif: return "WIF file|*.WIF";
    }
    return "";
}

std::string coloursFileName(const std::string& designFile) {
    const size_t slash = designFile.find_last_of('/');
    const size_t dot = designFile.find_last_of('.');
    // A dot in a folder name, or one that starts the name, is no extension.
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const bool cut = dot != std::string::npos && dot > nameStart;
    return (cut ? designFile.substr(0, dot) : designFile) + "_colors.bmp";
}

void numberWeftColours(DesignModel& d) {
    std::unordered_map<uint32_t, uint16_t> seen;
    const size_t n = std::min(d.weftColours.size(), d.weftColourNumbers.size());
    for (size_t i = 0; i < n; ++i) {
        auto [it, added] = seen.emplace(d.weftColours[i], static_cast<uint16_t>(seen.size() + 1));
        d.weftColourNumbers[i] = it->second;
        (void)added;
    }
}

MappedFile::~MappedFile() {
    if (map_) ::munmap(map_, size_);
}

bool MappedFile::open(const std::string& path, std::string& error, size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        // Not something to map (a pipe, an empty file): read it instead.
        ::close(fd);
        return readWholeFile(path, copy_, error, maxBytes);
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        error = "the file is too large to be a design";
        return false;
    }
    void* m = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    const int mapError = errno;
    ::close(fd);
    if (m == MAP_FAILED) {
        error = std::strerror(mapError);
        return false;
    }
    map_ = m;
    size_ = static_cast<size_t>(st.st_size);
    return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   size_t maxBytes) {
    out.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
        if (static_cast<uint64_t>(st.st_size) > maxBytes) {
            std::fclose(f);
            error = "the file is too large to be a design";
            return false;
        }
        // One read of the whole file; the loop below catches a file that grew.
        out.resize(static_cast<size_t>(st.st_size));
        out.resize(std::fread(out.data(), 1, out.size(), f));
    }
    uint8_t buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.insert(out.end(), buf, buf + n);
        if (out.size() > maxBytes) {
            std::fclose(f);
            error = "the file is too large to be a design";
            return false;
        }
    }
    const bool failed = std::ferror(f) != 0;
    if (failed) error = std::strerror(errno);
    std::fclose(f);
    return !failed;
}

bool DesignLoader::truncateToLoom() {
    DesignModel& d = s_.design();
    const HardwareConfig& hw = d.hw;
    if (d.header.wefts() > hw.maxWefts) {
        // Said, as a cut in width is: the weaver would miss the picks at the loom.
        char text[320];
        std::snprintf(text, sizeof text,
                      "Design size: %d picks, available %d. The design is cut to %d picks; to "
                      "weave them all, raise chunksize (now %d) in the [Mirlo] section of the "
                      "settings file: a design may have chunksize x 100 picks.",
                      d.header.wefts(), hw.maxWefts, hw.maxWefts, hw.chunksize);
        s_.ui().messageBox(BoxKind::Information, text, Buttons::Ok);
        d.header.set(Slot::wefts, static_cast<uint16_t>(hw.maxWefts));
    }
    if (d.header.warps() <= hw.hookCount) return false;
    char text[160];
    std::snprintf(text, sizeof text,
                  "Design size: %d threads, Available %d modules. Truncating from left",
                  d.header.warps(), hw.hookCount / kModuleHooks);
    s_.ui().errorBox(text);
    const int keep = std::max(0, hw.hookCount - hw.blankHeadleCount);
    d.header.set(Slot::warps, static_cast<uint16_t>(keep));
    return true;
}

bool DesignLoader::openCommand(FileType type) {
    DesignModel& d = s_.design();
    UserInterface& ui = s_.ui();
    ui.closeAnalysisPanel();
    s_.window().setChecked(Control::InvertBox, false);
    d.currentPick = 1;
    ui.clearColourBox();
    d.designFileType = type;
    const auto path = ui.chooseFile(fileFilter(type));
    if (!path) return false;
    if (d.designReady) {
        d.releaseDesign();
        d.designReady = false;
        s_.window().setEnabled(Control::InvertBox, false);
    }
    d.designFileName = *path;
    return commonLoad();
}

bool DesignLoader::reload(const std::string& path, FileType type) {
    s_.design().designFileName = path;
    s_.design().designFileType = type;
    return commonLoad();
}

ReadResult DesignLoader::readFile(FileType type, const std::string& path) {
    DesignModel& d = s_.design();
    switch (type) {
        case FileType::Native: {
            MappedFile file;
            std::string error;
            if (!file.open(path, error)) return ReadResult::failure(error);
            return readNativeDraft(file.data(), file.size(), d, *this, s_.ui());
        }
        case FileType::Imp:
        case FileType::Dw1:
        case FileType::Bmp:
        case FileType::Tiff:
        case FileType::Jpeg:
        case FileType::Wif:
            break;
    }
    return ReadResult::failure("this version of the program cannot read this kind of file yet");
}

bool DesignLoader::commonLoad() {
    DesignModel& d = s_.design();
    UserInterface& ui = s_.ui();
    ui.showFileName(d.designFileName);
    ui.clearPickLabel();
    // Whatever was there is replaced as a whole, ready or not.
    d.releaseDesign();
    d.designReady = false;
    s_.window().setEnabled(Control::FileMenu, false);
    s_.window().setEnabled(Control::ControlMenu, false);
    ui.setBusy(true);
    d.header.set(Slot::loom, 0);

    const ReadResult result = readFile(d.designFileType, d.designFileName);
    if (!result.ok) {
        // No half-built design is offered for weaving.
        d.releaseDesign();
        if (!result.error.empty())
            ui.errorBox("Cannot load " + d.designFileName + ": " + result.error + ".");
    }
    d.manualColours = false;

    if (d.hasDesign()) {
        d.shaftDraftAvailable = d.header.shafts() != 0;
        const std::string colours = coloursFileName(d.designFileName);
        ui.resetColourPattern();
        struct stat st {};
        if (::stat(colours.c_str(), &st) == 0 && ui.askYesNo("Read the manual colors file?"))
            d.manualColours = s_.readColoursFile(colours);
        s_.window().setChecked(Control::ShaftPlot, false);
        s_.window().setEnabled(Control::ShaftPlot, d.shaftDraftAvailable);
        s_.window().setVisible(Control::ShaftPlot, d.shaftDraftAvailable);
        RunPanel panel = s_.window().panel();
        panel.startWeft = std::clamp(panel.startWeft, 1, d.header.wefts());
        panel.endWeft = std::clamp(panel.endWeft, 1, d.header.wefts());
        panel.nextWeft = std::clamp(panel.nextWeft, 1, d.header.wefts());
        s_.window().setPanel(panel);
        ui.designChanged();
        d.designReady = s_.designWeavable();
        s_.window().setEnabled(Control::InvertBox, true);
        if (!s_.controllerAnswered() && resetController) s_.controllerReset(1);
        const bool go = s_.controllerAnswered() && d.designReady;
        s_.window().setEnabled(Control::StartButton, go);
        s_.window().setEnabled(Control::ResumeButton, go);
        if (!s_.controllerAnswered()) s_.window().setEnabled(Control::StopButton, false);
    }

    s_.window().setEnabled(Control::FileMenu, true);
    s_.window().setEnabled(Control::ControlMenu, true);
    ui.setBusy(false);
    return d.hasDesign();
}

}  // namespace wp
