#pragma once
// Contacts: a modem status line of a serial adapter (CTS, DSR, DCD, RI) or
// a GPIO line, read every couple of milliseconds on a thread of their own.
// Each change goes to the inbox as a contact closing or opening; the
// scheduler debounces. A reader that fails (an adapter unplugged) is opened
// again every few seconds, and says so once.

#include "trigger.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kestrova {
class SerialLink;
}

namespace kestrova::show {

// Reads one contact's level. The tests give their own.
class ContactReader {
public:
    virtual ~ContactReader() = default;
    virtual bool Open(std::string& reason) = 0;
    // True with `high` set, or false with the reason (the reader is then closed).
    virtual bool Read(bool& high, std::string& reason) = 0;
    virtual std::string Describe() const = 0;
};

// A modem status line (CTS, DSR, DCD or RI) of the link's own open port:
// the device is not opened a second time, which its exclusive lock would
// refuse. While the link's port is closed (a lost adapter) the line cannot
// be read; it can again once the runner has opened the port again.
// `device` names the port in the log.
std::unique_ptr<ContactReader> MakeModemReader(const SerialLink& link, const std::string& device,
                                               const std::string& line);
// A GPIO line as an input through libgpiod.
std::unique_ptr<ContactReader> MakeGpioReader(const std::string& chip, int32_t offset);

class ContactTrigger : public TriggerSource {
public:
    // `problem` is told (from the reading thread) when the reader fails and
    // when it works again.
    ContactTrigger(TriggerInbox& inbox, std::string name, bool activeLow, std::unique_ptr<ContactReader> reader,
                   std::function<void(const std::string&)> problem, double pollMs = 2, double retryMs = 3000);
    ~ContactTrigger() override;
    bool Start(std::string& reason) override;
    std::string Describe() const override { return reader_->Describe(); }

private:
    void Watch();
    TriggerInbox& inbox_;
    std::string name_;
    bool activeLow_;
    std::unique_ptr<ContactReader> reader_;
    std::function<void(const std::string&)> problem_;
    double pollMs_, retryMs_;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

}  // namespace kestrova::show
