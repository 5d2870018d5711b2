#include "port_table.h"

#include <QSerialPortInfo>
#include <QString>

#include <algorithm>
#include <filesystem>

namespace kestrova {

std::string DefaultDeviceForPort(int32_t n) {
#ifdef Q_OS_WIN
    return "COM" + std::to_string(n);
#else
    const std::string index = std::to_string(static_cast<int64_t>(n) - 1);
    for (const char* prefix : {"/dev/ttyUSB", "/dev/ttyACM"}) {
        std::error_code ec;
        const std::string device = prefix + index;
        if (std::filesystem::exists(device, ec)) return device;
    }
    return "/dev/ttyS" + index;
#endif
}

std::string DeviceForPort(const PortEntries& entries, int32_t n) {
    std::string mapped = entries ? entries(n) : std::string();
    return mapped.empty() ? DefaultDeviceForPort(n) : mapped;
}

std::vector<SerialDevice> AvailableSerialDevices() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices.push_back(SerialDevice{info.systemLocation().toStdString(), info.description().toStdString(),
                                       info.manufacturer().toStdString()});
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    return devices;
}

}  // namespace kestrova
