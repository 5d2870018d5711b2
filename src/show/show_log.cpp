#include "show_log.h"

#include <chrono>
#include <ctime>

namespace kestrova::show {

ShowLog::ShowLog(std::ostream& out, std::function<std::string()> stamp)
    : out_(out), stamp_(stamp ? std::move(stamp) : &LocalTimeStamp) {}

std::string ShowLog::LocalTimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", int(ms));
    return text;
}

void ShowLog::Line(const std::string& text) {
    std::string line = stamp_() + "  ";
    for (char c : text) line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    std::lock_guard lock(mutex_);
    out_ << line << '\n' << std::flush;
    recent_.push_back(std::move(line));
    if (recent_.size() > kKept) recent_.pop_front();
}

std::vector<std::string> ShowLog::Recent() const {
    std::lock_guard lock(mutex_);
    return {recent_.begin(), recent_.end()};
}

}  // namespace kestrova::show
