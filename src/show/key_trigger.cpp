#include "key_trigger.h"

#include <poll.h>
#include <unistd.h>

namespace kestrova::show {

KeyTrigger::KeyTrigger(TriggerInbox& inbox, std::string name, int fd) : inbox_(inbox), name_(std::move(name)), fd_(fd) {}

KeyTrigger::~KeyTrigger() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
}

bool KeyTrigger::Start(std::string&) {
    thread_ = std::thread([this] { Read(); });
    return true;
}

void KeyTrigger::Read() {
    std::string line;
    char buffer[256];
    while (!quit_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return;  // the end of input: no more keys
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                inbox_.Post(TriggerEvent{line.empty() ? name_ : line, "key", false, true});
                line.clear();
            } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && line.size() < 64) {
                line.push_back(c);
            }
        }
    }
}

}  // namespace kestrova::show
