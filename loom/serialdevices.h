#pragma once

#include <string>
#include <vector>

namespace wp {

// A serial device present on this machine, as a weaver picks the loom's port.
struct SerialDevice {
    std::string path;         // what is written to the settings: the stable name if any
    std::string description;  // what it is, for the list
};

// The serial devices present: /dev/serial/by-id/* (stable names of USB adapters),
// /dev/ttyUSB*, /dev/ttyACM*, and the /dev/ttyS* ports that have a UART behind
// them. Nothing is opened: opening a port can reset the controller behind it.
// root replaces "/" for tests.
std::vector<SerialDevice> listSerialDevices(const std::string& root = "/");

}  // namespace wp
