#include "arduino_sketch.h"

#include "files/safe_file.h"
#include "files/text_encoding.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrova {

namespace fs = std::filesystem;

namespace {

// Measured with avr-size on a small show with trigger and loop, less the show, rounded up.
constexpr size_t kSscFlash = 6900;  // with the limiter's 64-bit arithmetic
constexpr size_t kPcaFlash = 8400;
constexpr size_t kSscRam = 770;
constexpr size_t kPcaRam = 830;

constexpr const char* kIno = R"INO(// @NAME@: a Kestrova show for an Arduino Uno, exported from @PROJECT@.
// Build with "make", flash with "make upload PORT=/dev/ttyACM0".
#include <avr/pgmspace.h>
#define KVA_READ_BYTE(address) pgm_read_byte(address)
#include "kestrova_player.h"
#include "show_data.h"
#if KVA_PCA9685
#include <Wire.h>
#endif

#if KVA_PCA9685
struct WireBus {
    void Write(const uint8_t* bytes, uint8_t count) {
        Wire.beginTransmission(KVA_PCA_ADDRESS);
        Wire.write(bytes, count);
        Wire.endTransmission();
    }
};
static WireBus bus;
static kva::PcaOutput pca;
#endif

struct Board {
    uint32_t Micros() { return micros(); }
    bool Triggered() { return KVA_TRIGGER_PIN >= 0 && digitalRead(KVA_TRIGGER_PIN) == LOW; }
    void Show(const kva::ShowPlayer& player, bool runStart) {
#if KVA_PCA9685
        pca.Show(bus, player, runStart);
#else
        (void)runStart;
        uint8_t bytes[3 * kva::kMaxTracks];
        uint8_t n = 0;
        for (uint8_t t = 0; t < player.Tracks(); ++t) {
            bytes[n++] = player.Synch();
            bytes[n++] = player.Servo(t);
            bytes[n++] = player.Output(t);
        }
        Serial.write(bytes, n);
#endif
    }
};

static Board board;
static kva::ShowPlayer player;
static kva::ShowRunner<Board> runner(board, player, KVA_TRIGGER_PIN >= 0);

void setup() {
    if (!player.Open(kvaShow, sizeof kvaShow)) return;
#if KVA_PCA9685
    Wire.begin();
    Wire.setClock(400000);
    kva::PcaBegin(bus);
    delay(1);
#else
    Serial.begin(KVA_BAUD);
#endif
    if (KVA_TRIGGER_PIN >= 0) pinMode(KVA_TRIGGER_PIN, INPUT_PULLUP);
    runner.Begin();
}

void loop() {
    runner.Poll();
}
)INO";

constexpr const char* kMakefile = R"MAKE(# Builds @NAME@ for an Arduino Uno (ATmega328P, 16 MHz) with the Debian
# packages gcc-avr, avr-libc and arduino-core-avr, and flashes it with avrdude:
#   make                              build/@NAME@.elf and build/@NAME@.hex
#   make upload PORT=/dev/ttyACM0     flash the board
SKETCH := @NAME@
ARDUINO_DIR ?= /usr/share/arduino/hardware/arduino/avr
PORT ?= /dev/ttyACM0
MCU := atmega328p
F_CPU := 16000000L
FLASH_MAX := 32256
RAM_MAX := 2048
BUILD := build

CORE := $(ARDUINO_DIR)/cores/arduino
VARIANT := $(ARDUINO_DIR)/variants/standard
LIBRARIES := @LIBRARIES@

CC := avr-gcc
CXX := avr-g++
AR := avr-gcc-ar
OBJCOPY := avr-objcopy
SIZE := avr-size

CPPFLAGS := -mmcu=$(MCU) -DF_CPU=$(F_CPU) -DARDUINO=10807 -DARDUINO_AVR_UNO -DARDUINO_ARCH_AVR \
  -I. -I$(CORE) -I$(VARIANT) $(foreach l,$(LIBRARIES),-I$(l) -I$(l)/utility)
CFLAGS := -Os -flto -fno-fat-lto-objects -std=gnu11 -ffunction-sections -fdata-sections
CXXFLAGS := -Os -flto -std=gnu++11 -fpermissive -fno-exceptions -fno-threadsafe-statics -ffunction-sections -fdata-sections
LDFLAGS := -mmcu=$(MCU) -Os -flto -fuse-linker-plugin -Wl,--gc-sections

CORE_C := $(wildcard $(CORE)/*.c) $(foreach l,$(LIBRARIES),$(wildcard $(l)/*.c $(l)/utility/*.c))
CORE_CXX := $(wildcard $(CORE)/*.cpp) $(foreach l,$(LIBRARIES),$(wildcard $(l)/*.cpp))
CORE_S := $(wildcard $(CORE)/*.S)
CORE_OBJ := $(patsubst %,$(BUILD)/core/%.o,$(notdir $(CORE_C) $(CORE_CXX) $(CORE_S)))
vpath %.c $(CORE) $(foreach l,$(LIBRARIES),$(l) $(l)/utility)
vpath %.cpp $(CORE) $(LIBRARIES)
vpath %.S $(CORE)

all: $(BUILD)/$(SKETCH).hex size

# avr-gcc 5 leaves DECIMAL_DIG undefined in C++, which this core file needs.
$(BUILD)/core/WString.cpp.o: CXXFLAGS += -DDECIMAL_DIG=17

# The core's own warnings (avr-gcc 5 is older than the core) are not the sketch's.
$(BUILD)/core/%.c.o: %.c
	@mkdir -p $(dir $@)
	$(CC) $(CPPFLAGS) $(CFLAGS) -w -c $< -o $@

$(BUILD)/core/%.cpp.o: %.cpp
	@mkdir -p $(dir $@)
	$(CXX) $(CPPFLAGS) $(CXXFLAGS) -w -c $< -o $@

$(BUILD)/core/%.S.o: %.S
	@mkdir -p $(dir $@)
	$(CC) $(CPPFLAGS) -x assembler-with-cpp -c $< -o $@

$(BUILD)/$(SKETCH).o: $(SKETCH).ino show_data.h kestrova_player.h
	@mkdir -p $(BUILD)
	$(CXX) $(CPPFLAGS) $(CXXFLAGS) -x c++ -include Arduino.h -c $< -o $@

# The core as an archive, so that only the parts the sketch uses are linked.
$(BUILD)/core.a: $(CORE_OBJ)
	rm -f $@
	$(AR) rcs $@ $^

$(BUILD)/$(SKETCH).elf: $(BUILD)/$(SKETCH).o $(BUILD)/core.a
	$(CC) $(LDFLAGS) -o $@ $^ -lm

$(BUILD)/$(SKETCH).hex: $(BUILD)/$(SKETCH).elf
	$(OBJCOPY) -O ihex -R .eeprom $< $@

# Flash is program and initial data; RAM is data and zeroed data.
size: $(BUILD)/$(SKETCH).elf
	@$(SIZE) $< | awk 'NR == 2 { flash = $$1 + $$2; ram = $$2 + $$3; \
	  printf "Flash: %d of %d bytes, RAM: %d of %d bytes\n", flash, $(FLASH_MAX), ram, $(RAM_MAX); \
	  if (flash > $(FLASH_MAX)) { print "The show does not fit in the board'"'"'s flash."; exit 1 } }'

upload: $(BUILD)/$(SKETCH).hex
	avrdude -p $(MCU) -c arduino -P $(PORT) -b 115200 -D -U flash:w:$<:i

clean:
	rm -rf $(BUILD)

.PHONY: all size upload clean
)MAKE";

std::string Replace(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

bool ValidSketchName(const std::string& name) {
    if (name.empty() || name.size() > 63 || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

std::string ShowData(const std::vector<uint8_t>& show, const ExportOptions& options, const Project& built) {
    std::ostringstream out;
    out << "// The show's frames for the Kestrova player (see kestrova_player.h).\n"
        << "#define KVA_PCA9685 " << (options.mode == ExportMode::Pca9685 ? 1 : 0) << '\n'
        << "#define KVA_PCA_ADDRESS 0x40\n"
        << "#define KVA_BAUD " << (built.Settings.BaudRate == 0 ? 2400 : 9600) << "UL\n"
        << "#define KVA_TRIGGER_PIN " << options.triggerPin << '\n'
        << "static const uint8_t kvaShow[] PROGMEM = {";
    for (size_t i = 0; i < show.size(); ++i) {
        out << (i % 20 == 0 ? "\n    " : " ") << static_cast<int>(show[i]) << (i + 1 < show.size() ? "," : "");
    }
    out << "\n};\n";
    return out.str();
}

// Each file is written beside its old self and renamed over it, so a
// failure (a full disk) leaves the earlier export as it was; a symbolic
// link of that name is replaced, never written through.
bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
    std::string reason;
    if (!WriteFileSafely(path.string(), text, reason, {}, LinkHandling::Replace)) {
        error = "Could not write " + path.string() + ": " + reason + ".";
        return false;
    }
    return true;
}

std::string Kilobytes(size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

}  // namespace

size_t PlayerFlashBytes(ExportMode mode) { return mode == ExportMode::Ssc ? kSscFlash : kPcaFlash; }
size_t PlayerRamBytes(ExportMode mode) { return mode == ExportMode::Ssc ? kSscRam : kPcaRam; }

SketchReport ExportArduinoSketch(const Project& built, const ExportOptions& options, const std::string& dir,
                                 const std::string& projectName) {
    SketchReport report;
    fs::path folder = fs::path(dir).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    report.sketchName = folder.filename().string();
    if (!ValidSketchName(report.sketchName)) {
        report.error = "The sketch folder's name \"" + report.sketchName +
                       "\" must start with a letter and hold only letters, digits, '_' and '-' "
                       "(the Arduino tools name the sketch after its folder).";
        return report;
    }
    std::vector<uint8_t> show;
    if (!EncodeShow(built, options, show, report.error)) return report;
    report.showBytes = show.size();
    report.flashBytes = PlayerFlashBytes(options.mode) + show.size();
    report.ramBytes = PlayerRamBytes(options.mode);
    if (show.size() > 0xFFFF || report.flashBytes > kUnoFlashBytes) {
        report.error = "The show does not fit on an Arduino Uno: it needs about " + std::to_string(report.flashBytes) +
                       " bytes of flash (" + std::to_string(report.showBytes) + " for the show, " +
                       std::to_string(PlayerFlashBytes(options.mode)) + " for the player), and the board has " +
                       std::to_string(kUnoFlashBytes) + ". Shorten the show, drive fewer servos, or use fewer and longer moves.";
        return report;
    }

    const std::string ino = report.sketchName + ".ino";
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        if (!fs::is_directory(folder, ec)) {
            report.error = folder.string() + " exists and is not a folder.";
            return report;
        }
        if (!fs::is_empty(folder, ec) && !fs::exists(folder / ino, ec)) {
            report.error = "The folder " + folder.string() + " already holds other files; choose a new folder "
                           "or one exported before.";
            return report;
        }
    } else if (!fs::create_directories(folder, ec)) {
        report.error = "Could not make the folder " + folder.string() + ": " + ec.message() + ".";
        return report;
    }

    const std::string libraries = options.mode == ExportMode::Pca9685 ? "$(ARDUINO_DIR)/libraries/Wire/src" : "";
    const std::string name = report.sketchName;
    std::string project = projectName;  // goes into a one-line comment
    for (char& c : project)
        if (c == '\r' || c == '\n') c = ' ';
    if (!WriteText(folder / ino, Replace(Replace(kIno, "@NAME@", name), "@PROJECT@", project), report.error) ||
        !WriteText(folder / "kestrova_player.h", PlayerCoreSource(), report.error) ||
        !WriteText(folder / "show_data.h", ShowData(show, options, built), report.error) ||
        !WriteText(folder / "Makefile", Replace(Replace(kMakefile, "@NAME@", name), "@LIBRARIES@", libraries),
                   report.error))
        return report;

    if (options.mode == ExportMode::Ssc) {
        // Each frame's commands must leave the line within the frame period.
        const int baud = built.Settings.BaudRate == 0 ? 2400 : 9600;
        const double lineMs = ExportedServos(built).size() * 3 * 10 * 1000.0 / baud;
        const double periodMs = 1000.0 / options.fps;
        if (lineMs > periodMs) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "At %d baud a frame's commands take %.1f ms, longer than the frame period of %.1f ms: "
                          "the show will run slower than %d frames per second.",
                          baud, lineMs, periodMs, options.fps);
            report.warnings.push_back(text);
        }
    }
    report.ok = true;
    return report;
}

namespace {

// The folder as one word for a POSIX shell: as it is when it holds only
// characters no shell treats specially, else in single quotes (in which
// nothing is special; a quote itself is written '\''). Empty when it holds a
// control character or bytes that are no UTF-8 text: such a name cannot be
// shown as typed, so no command is offered.
std::string ShellWord(const std::string& folder) {
    if (!folder.empty() && folder.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                    "0123456789_@%+=:,./-") == std::string::npos)
        return folder;
    if (!IsValidUtf8(folder)) return {};
    std::string word = "'";
    for (size_t i = 0; i < folder.size(); ++i) {
        const auto c = static_cast<unsigned char>(folder[i]);
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && static_cast<unsigned char>(folder[i + 1]) <= 0x9F)) return {};
        word += c == '\'' ? std::string("'\\''") : std::string(1, char(c));
    }
    return word + "'";
}

}  // namespace

std::string SketchSummary(const SketchReport& report, const std::string& folder) {
    const std::string dir = ShellWord(folder);
    std::string text = "Exported the sketch " + report.sketchName + " to " + folder + ".\n" + "Show data: " +
                       std::to_string(report.showBytes) + " bytes; flash about " + std::to_string(report.flashBytes) +
                       " of " + std::to_string(kUnoFlashBytes) + " bytes (" + Kilobytes(report.flashBytes) +
                       "); RAM about " + std::to_string(report.ramBytes) + " of " + std::to_string(kUnoRamBytes) +
                       " bytes.\n";
    for (const auto& warning : report.warnings) text += "Warning: " + warning + "\n";
    if (dir.empty()) {
        text += "Build it with make in that folder, and flash it with make upload PORT=/dev/ttyACM0 there (its name "
                "holds characters a terminal cannot show, so no command is printed to paste).\n";
    } else {
        text += "Build it with: make -C " + dir + "\nFlash it with: make -C " + dir + " upload PORT=/dev/ttyACM0\n";
    }
    return text;
}

}  // namespace kestrova
