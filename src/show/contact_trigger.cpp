#include "contact_trigger.h"

#include "link/serial_link.h"

#include <gpiod.h>

#include <cerrno>
#include <chrono>
#include <cstring>


namespace kestrova::show {

namespace {

class ModemReader : public ContactReader {
public:
    ModemReader(const SerialLink& link, std::string device, std::string line)
        : link_(link), device_(std::move(device)), line_(std::move(line)) {}
    // Nothing of its own to open: the port is readable when the link has it open.
    bool Open(std::string& reason) override {
        bool high = false;
        return Read(high, reason);
    }
    bool Read(bool& high, std::string& reason) override {
        SerialLink::ModemLines lines;
        if (!link_.ReadModemLines(lines, reason)) {
            reason = device_ + ": " + reason;
            return false;
        }
        high = line_ == "CTS" ? lines.cts : line_ == "DSR" ? lines.dsr : line_ == "DCD" ? lines.dcd : lines.ri;
        return true;
    }
    std::string Describe() const override { return line_ + " of " + device_; }

private:
    const SerialLink& link_;
    std::string device_;
    std::string line_;
};

class GpioReader : public ContactReader {
public:
    GpioReader(std::string chip, int32_t offset) : chip_(std::move(chip)), offset_(offset) {}
    ~GpioReader() override { Close(); }
    bool Open(std::string& reason) override {
        chip_handle_ = gpiod_chip_open(chip_.c_str());
        line_ = chip_handle_ ? gpiod_chip_get_line(chip_handle_, unsigned(offset_)) : nullptr;
        if (!line_ || gpiod_line_request_input(line_, "kestrova") != 0) {
            reason = chip_ + " line " + std::to_string(offset_) + ": " + std::strerror(errno);
            Close();
            return false;
        }
        return true;
    }
    bool Read(bool& high, std::string& reason) override {
        const int value = line_ ? gpiod_line_get_value(line_) : -1;
        if (value < 0) {
            reason = chip_ + " line " + std::to_string(offset_) + ": " + std::strerror(errno);
            Close();
            return false;
        }
        high = value == 1;
        return true;
    }
    std::string Describe() const override { return "GPIO line " + std::to_string(offset_) + " of " + chip_; }

private:
    void Close() {
        if (line_) gpiod_line_release(line_);
        if (chip_handle_) gpiod_chip_close(chip_handle_);
        line_ = nullptr;
        chip_handle_ = nullptr;
    }
    std::string chip_;
    int32_t offset_;
    gpiod_chip* chip_handle_ = nullptr;
    gpiod_line* line_ = nullptr;
};

}  // namespace

std::unique_ptr<ContactReader> MakeModemReader(const SerialLink& link, const std::string& device,
                                               const std::string& line) {
    return std::make_unique<ModemReader>(link, device, line);
}

std::unique_ptr<ContactReader> MakeGpioReader(const std::string& chip, int32_t offset) {
    return std::make_unique<GpioReader>(chip, offset);
}

ContactTrigger::ContactTrigger(TriggerInbox& inbox, std::string name, bool activeLow,
                               std::unique_ptr<ContactReader> reader, std::function<void(const std::string&)> problem,
                               double pollMs, double retryMs)
    : inbox_(inbox), name_(std::move(name)), activeLow_(activeLow), reader_(std::move(reader)),
      problem_(std::move(problem)), pollMs_(pollMs), retryMs_(retryMs) {}

ContactTrigger::~ContactTrigger() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
}

bool ContactTrigger::Start(std::string& reason) {
    if (!reader_->Open(reason)) return false;
    thread_ = std::thread([this] { Watch(); });
    return true;
}

void ContactTrigger::Watch() {
    using Clock = std::chrono::steady_clock;
    auto sleep = [this](double ms) {
        // In short naps, so that the destructor never waits long.
        const auto end = Clock::now() + std::chrono::microseconds(int64_t(ms * 1000));
        while (!quit_ && Clock::now() < end) {
            std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(20)));
        }
    };
    bool active = false;
    bool working = true;
    while (!quit_) {
        bool high = false;
        std::string reason;
        if (!working) {
            if (!reader_->Open(reason)) {
                sleep(retryMs_);
                continue;
            }
            working = true;
            if (problem_) problem_(reader_->Describe() + " works again");
        }
        if (!reader_->Read(high, reason)) {
            working = false;
            if (problem_) problem_("Error: " + reason + "; trying again every " + std::to_string(int(retryMs_ / 1000)) + " s");
            if (active) inbox_.Post(TriggerEvent{name_, "lost", true, false});
            active = false;
            sleep(retryMs_);
            continue;
        }
        const bool now = high != activeLow_;
        if (now != active) {
            active = now;
            inbox_.Post(TriggerEvent{name_, reader_->Describe() + (now ? " closed" : " opened"), true, now});
        }
        sleep(pollMs_);
    }
}

}  // namespace kestrova::show
