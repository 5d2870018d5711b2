#include "show/show_setup.h"

#include "link/serial_link.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace kestrova::show {
namespace {

// Broken entries of every kind are named before anything runs; with
// skipBrokenEntries the runner starts with what is left.
TEST(ShowSetup, BrokenEntriesAreNamed) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kestrova-show-setup";
    std::filesystem::create_directories(dir);
    std::ifstream in(KESTROVA_EXAMPLES "/waving-robot.kva", std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::copy(KESTROVA_EXAMPLES "/sounds", dir / "sounds",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir / "good.kva", std::ios::binary) << good;
    std::ofstream(dir / "broken.kva", std::ios::binary) << std::regex_replace(good, std::regex("Mov 60, 15"), "Jump 60");
    std::ofstream(dir / "mute.kva", std::ios::binary) << std::regex_replace(good, std::regex("sounds/chirp.wav"), "sounds/gone.wav");
    std::ofstream(dir / "text.kva", std::ios::binary) << "just some words";

    ShowFile file;
    file.folder = dir.string();
    file.idle = "good.kva";
    file.shows = {{"good.kva", ""}, {"missing.kva", ""}, {"broken.kva", ""}, {"mute.kva", ""}, {"text.kva", ""}};
    file.device = "/dev/no-such-adapter";
    const std::vector<std::string> entries = {"shows[1].project", "shows[2].project", "shows[3].project",
                                              "shows[4].project", "port.device"};
    for (bool skip : {false, true}) {
        file.skipBroken = skip;
        const ShowSetup setup = LoadShowSetup(file);
        std::vector<std::string> named;
        for (const ShowFileProblem& p : skip ? setup.warnings : setup.problems) named.push_back(p.entry);
        EXPECT_EQ(named, entries);
        EXPECT_EQ(setup.ok(), skip);
        // Left out: the missing, broken and unreadable projects; the mute one plays without its sound.
        EXPECT_EQ(setup.shows.size(), 2u);
        EXPECT_TRUE(setup.idle.has_value());
    }
    file.device = kVirtualControllerDevice;  // no file, yet a device: a dry run
    EXPECT_EQ(LoadShowSetup(file).warnings.size(), entries.size() - 1);
    const ShowSetup setup = LoadShowSetup(file);
    EXPECT_NE(setup.warnings[1].text.find("does not build"), std::string::npos) << setup.warnings[1].text;
    EXPECT_NE(setup.warnings[2].text.find("gone.wav cannot be read"), std::string::npos) << setup.warnings[2].text;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrova::show
