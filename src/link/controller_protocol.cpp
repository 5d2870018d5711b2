#include "controller_protocol.h"

#include "mini_ssc_decoder.h"
#include "pololu_protocol.h"
#include "servo_command.h"
#include "ssc32_protocol.h"

namespace kestrova {

namespace {

class MiniSscEncoder : public ProtocolEncoder {
public:
    using ProtocolEncoder::ProtocolEncoder;

    bool Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string& reason) override {
        const size_t start = out.size();
        for (const ServoTarget& t : targets) {
            const auto command = EncodeServoCommand(setup_.synchByte, setup_.channel[t.servo], t.position);
            if (!command) {
                out.resize(start);
                reason = UnencodableReason(setup_.synchByte, t.servo, t.position);
                return false;
            }
            out.insert(out.end(), command->begin(), command->end());
        }
        return true;
    }
    // The Mini-SSC has no command that stops a servo's pulses.
    void PulsesOff(std::span<const int>, std::vector<uint8_t>&) override {}
    int CommandBytes(int) const override { return 3; }
};

class MiniSscEventDecoder : public ProtocolDecoder, private MiniSscDecoder::Listener {
public:
    explicit MiniSscEventDecoder(uint8_t synch) : decoder_(synch) {}

    void Feed(uint8_t byte, ProtocolDecoder::Listener& listener) override {
        ++read_;
        listener_ = &listener;
        decoder_.Feed(byte, *this);
        listener_ = nullptr;
    }

private:
    void Command(const DecodedCommand& c) override {
        ControllerEvent event;
        event.kind = ControllerEvent::Kind::Position;
        event.channel = c.servo;
        event.value = c.position;
        event.lastByte = c.lastByte;
        listener_->Event(event);
    }
    void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t lastByte) override {
        listener_->NotUnderstood(bytes, count, lastByte);
    }

    MiniSscDecoder decoder_;
    ProtocolDecoder::Listener* listener_ = nullptr;
};

}  // namespace

std::unique_ptr<ProtocolEncoder> MakeEncoder(const ControllerSetup& setup, double periodMs) {
    switch (static_cast<Protocol>(setup.protocol)) {
    case Protocol::Pololu: return std::make_unique<PololuEncoder>(setup, false);
    case Protocol::PololuChain: return std::make_unique<PololuEncoder>(setup, true);
    case Protocol::Ssc32: return std::make_unique<Ssc32Encoder>(setup, periodMs);
    case Protocol::MiniSsc: break;
    }
    return std::make_unique<MiniSscEncoder>(setup);
}

std::unique_ptr<ProtocolDecoder> MakeDecoder(int32_t protocol, uint8_t synch) {
    switch (static_cast<Protocol>(protocol)) {
    case Protocol::Pololu:
    case Protocol::PololuChain: return std::make_unique<PololuDecoder>();
    case Protocol::Ssc32: return std::make_unique<Ssc32Decoder>();
    case Protocol::MiniSsc: break;
    }
    return std::make_unique<MiniSscEventDecoder>(synch);
}

}  // namespace kestrova
