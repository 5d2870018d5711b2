#pragma once
// Keeps tests away from the real user's settings: before main runs, HOME and
// XDG_CONFIG_HOME point into a fresh temporary folder (removed at exit), and
// StoreTest gives each test a settings store in a folder of its own, store_,
// to hand to what reads or writes settings.

#include "files/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrova::testing {

inline std::string MakeTempDir(const char* what) {
    std::string pattern = std::string("/tmp/kestrova-test-") + what + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

inline const std::string kIsolatedHome = [] {
    static const std::string home = MakeTempDir("home");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(home, ec); });
    return home;
}();

class StoreTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(dir_); }

    const std::string dir_ = MakeTempDir("store");
    const StoreLocation store_{dir_};
    const std::string programFile_ = dir_ + "/Talvenor Electronics/Kestrova v2.0.conf";
};

}  // namespace kestrova::testing
