#pragma once

#include <string>

#include "model/design.h"
#include "model/userio.h"
#include "model/window.h"

namespace wp {

// What the common load needs from the program around it: the model it fills,
// the weaver, the window's controls, and the loom's side of a new design. The
// application implements it; the import layer knows nothing of drivers or runs.
class LoadHost {
public:
    virtual ~LoadHost() = default;

    virtual DesignModel& design() = 0;
    virtual UserInterface& ui() = 0;
    virtual WindowState& window() = 0;

    // Whether the configured loom can weave the loaded design (false without a driver).
    virtual bool designWeavable() const = 0;
    // Set once a controller reset has been acknowledged.
    virtual bool controllerAnswered() const = 0;
    // Controller reset with its parameter (1 after a design load).
    virtual void controllerReset(int parameter) = 0;
    // Reads the design's colours file; false when it could not be used.
    virtual bool readColoursFile(const std::string& path) = 0;
};

}  // namespace wp
