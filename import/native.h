#pragma once

#include <cstdint>
#include <vector>

#include "import/load.h"

namespace wp {

class DesignLoader;

// Reads a native dobby or countermarche draft (*.DOB, *.CTM) held in memory
// into the design model. Truncation to the loom goes through the loader.
ReadResult readNativeDraft(const uint8_t* file, size_t size, DesignModel& d, DesignLoader& loader,
                           UserInterface& ui);
inline ReadResult readNativeDraft(const std::vector<uint8_t>& file, DesignModel& d,
                                  DesignLoader& loader, UserInterface& ui) {
    return readNativeDraft(file.data(), file.size(), d, loader, ui);
}

}  // namespace wp
