#pragma once
// Which device a port number stands for. Port n is named "COM" + n in every
// message. It maps to a device through the user's port table (the entries
// come from the program's settings store, given to the link by its owner);
// without an entry it is "COM" + n on Windows, and elsewhere the first of
// /dev/ttyUSB(n-1) and /dev/ttyACM(n-1) that exists, else /dev/ttyS(n-1).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrova {

// The device entered for port n in the user's port table; empty when there
// is no entry.
using PortEntries = std::function<std::string(int32_t n)>;

// The platform's device for port n, without a table.
std::string DefaultDeviceForPort(int32_t n);

// The device that port n stands for: its entry, else the platform's.
std::string DeviceForPort(const PortEntries& entries, int32_t n);

struct SerialDevice {
    std::string path;          // "/dev/ttyUSB0", "COM3"
    std::string description;   // what the system says of it, may be empty
    std::string manufacturer;  // may be empty
};

// The serial devices the system reports, by path.
std::vector<SerialDevice> AvailableSerialDevices();

}  // namespace kestrova
