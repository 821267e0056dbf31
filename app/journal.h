#pragma once

#include <optional>
#include <string>

#include "model/design.h"

namespace wp {

// Where weaving stood when the loom last reported a pick woven or took one.
struct JournalEntry {
    std::string designFile;
    FileType designType = FileType::Native;
    int pick = 0;  // the last pick woven, or the one the loom holds (onLoom)
    int startWeft = 1;
    int endWeft = 1;
    bool reverse = false;
    bool loop = false;
    bool tabby = false;
    // The loom had taken the pick whole but not yet reported it woven: the
    // weaver's next treadle weaves it, program or not, so it counts as woven.
    bool onLoom = false;
};

// The position journal: a small file beside the settings file, rewritten
// after every pick the loom reports woven and removed when the program closes
// cleanly. Found at start-up, it means weaving stopped unexpectedly there.
class Journal {
public:
    explicit Journal(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Writes the entry beside the journal (in "<journal>.new") and swaps the
    // two by rename: whoever reads finds the old entry or the new one, whole,
    // even after a crash of the program. False (with the journal unchanged)
    // when it could not be written.
    bool record(const JournalEntry& e);
    // Makes the last record survive a crash of the computer too. Slower than
    // record(): the run calls it while the loom weaves, not before a pick.
    void flush();
    // The entry, or nothing when there is no journal or it cannot be read.
    std::optional<JournalEntry> read() const;
    // Removes the journal and the file beside it.
    void remove();
    // This program has written the journal since it started.
    bool recorded() const { return recorded_; }

private:
    std::string path_;
    bool recorded_ = false;
    bool unflushed_ = false;
};

// The journal that belongs to a settings file: beside it.
std::string journalPathFor(const std::string& settingsFile);

// The pick after w in a range walked forwards or, with reverse, backwards; 0
// when the range has ended (with loop it starts again). 0 for w gives the
// range's first pick.
int nextPickInRange(int w, int startWeft, int endWeft, bool reverse, bool loop);

// The pick weaving goes on from after the journal's pick; 0 when its range is done.
inline int nextPickAfter(const JournalEntry& e) {
    return nextPickInRange(e.pick, e.startWeft, e.endWeft, e.reverse, e.loop);
}

}  // namespace wp
