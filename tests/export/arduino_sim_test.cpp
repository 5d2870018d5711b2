// Exported sketches built with avr-gcc and run on a simulated ATmega328P at
// 16 MHz: the serial bytes must be the frame table's command stream, each
// frame starting on its schedule in simulated time.
#include "export/arduino_sketch.h"
#include "files/kva_reader.h"
#include "random_show.h"

#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Runs the program until `wanted` bytes came out of UART 0 or `seconds` of
// simulated time passed.
std::vector<UartByte> RunOnUno(const fs::path& elf, size_t wanted, double seconds) {
    auto firmware = std::make_unique<elf_firmware_t>();
    *firmware = {};
    if (elf_read_firmware(elf.c_str(), firmware.get()) != 0) return {};
    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    if (!avr) return {};
    avr_init(avr);
    firmware->frequency = kClock;
    avr_load_firmware(avr, firmware.get());
    avr->frequency = kClock;

    uint32_t flags = 0;
    avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~AVR_UART_FLAG_STDIO;
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    Capture capture{avr, {}};
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), OnUartByte, &capture);

    const auto limit = static_cast<avr_cycle_count_t>(seconds * kClock);
    int state = cpu_Running;
    while (capture.bytes.size() < wanted && avr->cycle < limit && state != cpu_Done && state != cpu_Crashed)
        state = avr_run(avr);
    avr_terminate(avr);
    return capture.bytes;
}

class ArduinoSim : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrova-sim-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // make -C DIR; the output goes to DIR.log.
    bool Make(const fs::path& sketch) {
        const std::string command = "make -C '" + sketch.string() + "' > '" + sketch.string() + ".log' 2>&1";
        return std::system(command.c_str()) == 0;
    }

    // Plays `frames` frames in the simulator and checks bytes and timing.
    void ExpectPlaysOnTime(const Project& built, const fs::path& sketch, int fps, int32_t frames) {
        ASSERT_TRUE(Make(sketch)) << "make failed, see " << sketch.string() << ".log";
        const std::vector<uint8_t> expected = CommandStream(built, frames);
        const size_t perFrame = ExportedServos(built).size() * 3;
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

    fs::path dir_;
};

TEST_F(ArduinoSim, ExampleThroughTheCommandLine) {
    const std::string example = std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva";
    const fs::path sketch = dir_ / "show";
    const std::string command = std::string(KESTROVA_CLI) + " export '" + example + "' --arduino '" + sketch.string() +
                                "' --fps 20 > '" + (dir_ / "export.log").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::ifstream in(example, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Project project;
    StartNewProject(project);
    ASSERT_TRUE(LoadProjectBytes(bytes, project).ok);
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    ExpectPlaysOnTime(project, sketch, 20, project.Frames.UpperBound());
}

TEST_F(ArduinoSim, LargeRandomShowFirstFrames) {
    // A 3-minute show of 16 servos at 15 frames per second; the first 20
    // seconds are simulated, to keep the run short.
    const Project project = kestrova::testing::RandomShow(11, 16, 180, 15);
    const fs::path sketch = dir_ / "large";
    const SketchReport report = ExportArduinoSketch(project, {}, sketch.string(), "large.kva");
    ASSERT_TRUE(report.ok) << report.error;
    ExpectPlaysOnTime(project, sketch, 15, 300);
}

TEST_F(ArduinoSim, Pca9685SketchBuilds) {
    ExportOptions options;
    options.mode = ExportMode::Pca9685;
    options.triggerPin = 2;
    options.loop = true;
    const fs::path sketch = dir_ / "servos";
    ASSERT_TRUE(ExportArduinoSketch(kestrova::testing::RandomShow(3, 16, 180, 15), options, sketch.string(), "s.kva").ok);
    EXPECT_TRUE(Make(sketch)) << "see " << sketch.string() << ".log";
    EXPECT_TRUE(fs::exists(sketch / "build" / "servos.hex"));
    std::system(("make -s -C '" + sketch.string() + "' size").c_str());
}

}  // namespace
