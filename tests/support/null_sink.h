#pragma once
// A PulseAudio server of the test's own with one null sink, so sound tests
// play to a device nobody hears and nothing of the user's is touched. It is
// reached through PULSE_SERVER, set for this process and its children.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrova::testing {

class NullSink {
public:
    NullSink() {
        dir_ = std::filesystem::temp_directory_path() / ("kestrova-pulse-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        const std::string socket = (dir_ / "native").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::setenv("HOME", dir_.c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
            const std::string native = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                     "-L", "module-null-sink sink_name=kestrova_test", "-L", native.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ready_ = std::filesystem::exists(socket);
        ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    }
    ~NullSink() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    bool Ready() const { return ready_; }
    // The source that hears what the sink plays.
    static const char* Monitor() { return "kestrova_test.monitor"; }

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace kestrova::testing
