#pragma once
// Keeps the tests away from the real user's settings: before main runs,
// HOME and XDG_CONFIG_HOME point into a fresh temporary folder (removed at
// exit), and StoreTest places the settings store of each test in a folder
// of its own.

#include "files/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrova::testing {

inline std::string MakeIsolatedHome() {
    char pattern[] = "/tmp/kestrova-test-home-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) std::abort();
    static std::string home = dir;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    });
    return home;
}

// The temporary home of this test program.
inline const std::string kIsolatedHome = MakeIsolatedHome();

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrova-test-store-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        ASSERT_NE(dir, nullptr);
        storeDir_ = dir;
        SetRegistryStoreLocation(storeDir_);
    }
    void TearDown() override {
        SetRegistryStoreLocation("");
        std::error_code ec;
        std::filesystem::remove_all(storeDir_, ec);
    }

    const std::string& StoreDir() const { return storeDir_; }
    // The file that holds the program's key.
    std::string ProgramFile() const {
        return storeDir_ + "/Talvenor Electronics/Kestrova v2.0.conf";
    }

private:
    std::string storeDir_;
};

}  // namespace kestrova::testing
