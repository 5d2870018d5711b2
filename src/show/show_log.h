#pragma once
// The runner's log: one line per event with the local time, to a stream
// (standard error, or a file the show file names). The latest lines are
// also kept for the status and the test-run window.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace kestrova::show {

class ShowLog {
public:
    // `stamp` gives the time text put before each line; the local time when empty.
    explicit ShowLog(std::ostream& out, std::function<std::string()> stamp = {});

    void Line(const std::string& text);
    std::vector<std::string> Recent() const;

    static std::string LocalTimeStamp();
    static constexpr size_t kKept = 200;

private:
    std::ostream& out_;
    std::function<std::string()> stamp_;
    mutable std::mutex mutex_;
    std::deque<std::string> recent_;
};

}  // namespace kestrova::show
