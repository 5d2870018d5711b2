#pragma once
// The serial link as the playback engine's output.

#include "link/serial_link.h"
#include "playback_engine.h"

namespace kestrova {

class SerialLinkOutput : public PlaybackOutput {
public:
    explicit SerialLinkOutput(SerialLink& link) : link_(link) {}

    int32_t PortNumber() const override { return link_.PortNumber(); }
    bool IsOpen() const override { return link_.IsOpen(); }
    bool Open(std::string& reason) override { return link_.Open(reason); }
    void Close() override { link_.Close(); }
    bool WriteCommands(const std::vector<uint8_t>& bytes, std::string& reason) override {
        return link_.Write(bytes.data(), bytes.size(), reason);
    }
    std::string FailureMessage(const std::string& reason) const override { return link_.FailureMessage(reason); }
    void UseController(const ControllerSetup& setup) override { link_.SetControllerSetup(setup); }
    bool PulsesOff(std::string& reason) override { return link_.PulsesOff(reason); }

private:
    SerialLink& link_;
};

}  // namespace kestrova
