#include "trigger.h"

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace kestrova::show {

TriggerInbox::TriggerInbox() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
}

TriggerInbox::~TriggerInbox() {
    for (int fd : pipe_) {
        if (fd >= 0) ::close(fd);
    }
}

void TriggerInbox::Post(TriggerEvent event) {
    {
        std::lock_guard lock(mutex_);
        // Contacts get room of their own: a flood of messages cannot hide
        // that a contact opened again.
        if (queue_.size() >= (event.level ? 2 * kBound : kBound)) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(event));
    }
    const char byte = 1;
    // A full pipe already wakes the reader; the byte is not needed then.
    [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &byte, 1);
}

void TriggerInbox::Wake() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &byte, 1);
}

bool TriggerInbox::Wait(double ms) {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) return true;
    }
    pollfd p{pipe_[0], POLLIN, 0};
    const int timeout = ms <= 0 ? 0 : int(std::ceil(ms));
    return ::poll(&p, 1, timeout) != 0;  // woken, or a signal
}

std::vector<TriggerEvent> TriggerInbox::Take() {
    char buffer[256];
    while (::read(pipe_[0], buffer, sizeof buffer) > 0) {
    }
    std::lock_guard lock(mutex_);
    std::vector<TriggerEvent> events(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    return events;
}

int64_t TriggerInbox::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace kestrova::show
