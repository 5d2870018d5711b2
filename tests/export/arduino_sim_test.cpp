// Exported sketches built with avr-gcc and run on a simulated ATmega328P at
// 16 MHz: the serial bytes must be the frame table's command stream, each
// frame starting on its schedule in simulated time.
#include "export/arduino_sketch.h"
#include "export/player_core.h"
#include "playback/playback_engine.h"
#include "files/kva_reader.h"
#include "random_show.h"
#include "support/playback_fakes.h"
#include "support/test_files.h"

#include <simavr/avr_twi.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

namespace fs = std::filesystem;
using namespace kestrova;

namespace {

constexpr uint64_t kClock = 16000000;

struct UartByte {
    uint64_t cycle;
    uint8_t value;
};

struct Capture {
    avr_t* avr = nullptr;
    std::vector<UartByte> bytes;
};

void OnUartByte(avr_irq_t*, uint32_t value, void* param) {
    auto* capture = static_cast<Capture*>(param);
    capture->bytes.push_back({capture->avr->cycle, static_cast<uint8_t>(value)});
}

// An ATmega328P at 16 MHz running a program.
struct Uno {
    explicit Uno(const fs::path& elf) {
        auto firmware = std::make_unique<elf_firmware_t>();
        *firmware = {};
        avr = avr_make_mcu_by_name("atmega328p");
        if (!avr || elf_read_firmware(elf.c_str(), firmware.get()) != 0) return;
        avr_init(avr);
        avr_load_firmware(avr, firmware.get());
        avr->frequency = kClock;
        loaded = true;
    }
    ~Uno() {
        if (loaded) avr_terminate(avr);
    }
    avr_irq_t* Irq(uint32_t ioctl, int irq) { return avr_io_getirq(avr, ioctl, irq); }

    avr_t* avr = nullptr;
    bool loaded = false;
};

// Runs the program until `wanted` bytes came out of UART 0 or `seconds` of
// simulated time passed.
std::vector<UartByte> RunOnUno(const fs::path& elf, size_t wanted, double seconds) {
    Uno uno(elf);
    if (!uno.loaded) return {};
    uint32_t flags = 0;
    avr_ioctl(uno.avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~AVR_UART_FLAG_STDIO;
    avr_ioctl(uno.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    Capture capture{uno.avr, {}};
    avr_irq_register_notify(uno.Irq(AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), OnUartByte, &capture);

    const auto limit = static_cast<avr_cycle_count_t>(seconds * kClock);
    int state = cpu_Running;
    while (capture.bytes.size() < wanted && uno.avr->cycle < limit && state != cpu_Done && state != cpu_Crashed)
        state = avr_run(uno.avr);
    return capture.bytes;
}

class ArduinoSim : public ::testing::Test {
protected:
    // make -C DIR; the output goes to DIR.log.
    bool Make(const fs::path& sketch) {
        const std::string command = "make -C '" + sketch.string() + "' > '" + sketch.string() + ".log' 2>&1";
        return std::system(command.c_str()) == 0;
    }

    // Plays `frames` frames in the simulator and checks bytes and timing.
    // `expected`: the bytes when not the frame table's stream (a limited show).
    void ExpectPlaysOnTime(const Project& built, const fs::path& sketch, int fps, int32_t frames,
                           std::vector<uint8_t> expected = {}) {
        ASSERT_TRUE(Make(sketch)) << "make failed, see " << sketch.string() << ".log";
        if (expected.empty()) expected = CommandStream(built, frames);
        const size_t perFrame = ExportedServos(built).size() * 3;
        frames = static_cast<int32_t>(expected.size() / perFrame);
        const std::vector<UartByte> got =
            RunOnUno(sketch / "build" / (sketch.filename().string() + ".elf"), expected.size(), frames / double(fps) + 2);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].value, expected[i]) << "byte " << i;

        double worstMs = 0;
        const uint64_t start = got[0].cycle;
        for (int32_t f = 0; f < frames; ++f) {
            const double scheduled = start + double(f) * kClock / fps;
            const double lateMs = (double(got[size_t(f) * perFrame].cycle) - scheduled) * 1000.0 / kClock;
            worstMs = std::max(worstMs, std::abs(lateMs));
        }
        EXPECT_LT(worstMs, 1.0);
        std::cout << "[ sizes    ] " << sketch.filename().string() << ": frames " << frames << ", worst frame start "
                  << worstMs << " ms from schedule\n";
        std::system(("make -s -C '" + sketch.string() + "' size").c_str());
    }

    kestrova::testing::TempDir folder_;
    const fs::path dir_ = folder_.Dir();
};

TEST_F(ArduinoSim, ExampleThroughTheCommandLine) {
    const std::string example = std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva";
    const fs::path sketch = dir_ / "show";
    const std::string command = std::string(KESTROVA_CLI) + " export '" + example + "' --arduino '" + sketch.string() +
                                "' --fps 20 > '" + (dir_ / "export.log").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Project project;
    StartNewProject(project);
    ASSERT_TRUE(LoadProjectBytes(kestrova::testing::ReadFile(example), project).ok);
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    ExpectPlaysOnTime(project, sketch, 20, project.Frames.UpperBound());
}

// One simulated board a test: with two in one process the leak checker
// reports the simulator library's own allocations of the first.
TEST_F(ArduinoSim, LargeRandomShowFirstFrames) {
    // A 3-minute show of 16 servos at 15 frames per second; the first 20
    // seconds are simulated, to keep the run short.
    const Project large = kestrova::testing::RandomShow(11, 16, 180, 15);
    const SketchReport report = ExportArduinoSketch(large, {}, (dir_ / "large").string(), "large.kva");
    ASSERT_TRUE(report.ok) << report.error;
    ExpectPlaysOnTime(large, dir_ / "large", 15, 300);
}

// What the editor's playback sends for the whole show, limiters and all.
std::vector<uint8_t> EditorOutput(Project& built, int fps) {
    struct Capture : PlaybackOutput {
        std::vector<uint8_t> bytes;
        int32_t PortNumber() const override { return 1; }
        bool IsOpen() const override { return true; }
        bool Open(std::string&) override { return true; }
        void Close() override {}
        bool WriteCommands(const std::vector<uint8_t>& b, std::string&) override {
            bytes.insert(bytes.end(), b.begin(), b.end());
            return true;
        }
    } output;
    kestrova::testing::InstantClock clock;
    kestrova::testing::Silence sound;
    QuietPlaybackView view(fps);
    PlaybackEngine engine(built, output, sound, view, &clock);
    engine.SetPrioritySetter([](int32_t) {});
    engine.SetLineBaud(1000000);  // every frame whole, as the board sends it
    engine.PlayAnimation(1, built.Frames.UpperBound());
    return output.bytes;
}

// Caps on the servos: the board's player limits with the same integer
// arithmetic as the editor's output, so the bytes are the same, frame by
// frame, including the frames after the last in which servos arrive.
TEST_F(ArduinoSim, CappedShowMovesAsTheEditorsOutput) {
    Project show = kestrova::testing::RandomShow(5, 4, 8, 15);
    const int32_t caps[][2] = {{120, 400}, {60, 0}, {0, 150}, {0, 0}};
    for (int s = 0; s < 4; ++s) {
        show.Servos[s].MaxSpeed = caps[s][0];
        show.Servos[s].MaxAccel = caps[s][1];
    }
    const std::vector<uint8_t> expected = EditorOutput(show, 15);
    ASSERT_GT(expected.size(), size_t(show.Frames.UpperBound()) * 4 * 3) << "the slow servos arrive after the end";
    ASSERT_NE(expected, CommandStream(show)) << "the caps changed what goes out";
    const SketchReport report = ExportArduinoSketch(show, {}, (dir_ / "capped").string(), "capped.kva");
    ASSERT_TRUE(report.ok) << report.error;
    ExpectPlaysOnTime(show, dir_ / "capped", 15, 0, expected);
}

// A PCA9685 at address 0x40 on the simulated I2C bus: acknowledges every
// byte and keeps the registers written, with auto-increment.
struct Pca9685Device {
    avr_t* avr = nullptr;
    bool selected = false;
    bool haveRegister = false;
    uint8_t next = 0;
    std::map<uint8_t, uint8_t> registers;
    uint64_t firstOutput = 0;  // cycle of the first write to a channel

    static void OnBus(avr_irq_t*, uint32_t value, void* param) {
        auto* pca = static_cast<Pca9685Device*>(param);
        avr_twi_msg_irq_t message;
        message.u.v = value;
        const avr_twi_msg_t& m = message.u.twi;
        avr_irq_t* reply = avr_io_getirq(pca->avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_INPUT);
        if (m.msg & TWI_COND_STOP) pca->selected = false;
        if (m.msg & TWI_COND_START) {
            pca->selected = (m.addr >> 1) == 0x40;
            pca->haveRegister = false;
            if (pca->selected) avr_raise_irq(reply, avr_twi_irq_msg(TWI_COND_ACK, m.addr, 1));
        }
        if (pca->selected && (m.msg & TWI_COND_WRITE)) {
            avr_raise_irq(reply, avr_twi_irq_msg(TWI_COND_ACK, m.addr, 1));
            if (!pca->haveRegister) {
                pca->next = m.data;
                pca->haveRegister = true;
                return;
            }
            if (pca->next >= 6 && pca->next < 70 && !pca->firstOutput) pca->firstOutput = pca->avr->cycle;
            pca->registers[pca->next++] = m.data;
        }
    }
    uint16_t Off(int channel) {
        return uint16_t(registers[uint8_t(8 + 4 * channel)] | registers[uint8_t(9 + 4 * channel)] << 8);
    }
};

TEST_F(ArduinoSim, Pca9685RegistersFollowTheFrames) {
    // Servo 2 has a pulse range of its own; servo 1 takes the export's.
    Project project = kestrova::testing::BuiltShow({"Mov 0, 2\r\nWait 1", "Mov 254, 3"});
    project.Servos[1].PulseMin = 500;
    project.Servos[1].PulseMax = 2500;
    ExportOptions options;
    options.mode = ExportMode::Pca9685;
    options.fps = 10;
    options.channels[1] = 9;
    const fs::path sketch = dir_ / "servos";
    ASSERT_TRUE(ExportArduinoSketch(project, options, sketch.string(), "s.kva").ok);
    ASSERT_TRUE(Make(sketch)) << "see " << sketch.string() << ".log";

    Uno uno(sketch / "build" / "servos.elf");
    ASSERT_TRUE(uno.loaded);
    avr_t* avr = uno.avr;
    Pca9685Device pca;
    pca.avr = avr;
    avr_irq_register_notify(uno.Irq(AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT), Pca9685Device::OnBus, &pca);

    // Each frame's registers, read half a period after the frame is due.
    const uint64_t period = kClock / 10;
    for (int32_t f = 1; f <= project.Frames.UpperBound(); ++f) {
        while ((!pca.firstOutput || avr->cycle < pca.firstOutput + (f - 1) * period + period / 2) &&
               avr->cycle < 5 * kClock)
            avr_run(avr);
        ASSERT_NE(pca.firstOutput, 0u) << "nothing reached the PCA9685";
        EXPECT_EQ(pca.registers[0xFE], 121) << "50 Hz";
        EXPECT_EQ(pca.Off(0), kva::PcaCount(uint8_t(project.Frames[f][0]), 1000, 2000)) << "frame " << f;
        EXPECT_EQ(pca.Off(9), kva::PcaCount(uint8_t(project.Frames[f][1]), 500, 2500, 254)) << "frame " << f;
        EXPECT_EQ(pca.registers.count(8 + 4 * 2), 0u) << "servo 3 is not used: its channel stays untouched";
    }
}

}  // namespace
