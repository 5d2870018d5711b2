#include "core/messages.h"
#include "files/registry.h"
#include "files/settings_store.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace kestrova;
using kestrova::testing::StoreTest;
using Names = std::vector<std::string>;

namespace {

cRegistry Key(const StoreLocation& store, const std::string& section, const std::string& value, int32_t type) {
    cRegistry r(store);
    r.SetSectionKey(section);
    r.SetValueKey(value);
    r.SetValueType(type);
    return r;
}

std::string WriteFailure(const std::string& root, const std::string& section,
                         const std::string& name, const std::string& value) {
    return "Failed to set registry value Key: '" + root + "',Section: '" + section + "',Key: '" +
           name + "' to value: '" + value + "'";
}

}  // namespace

TEST_F(StoreTest, ValuesReadBackWithTheirTypesAndKeysListTheirOwn) {
    // A settings file keeps no types: a text that is a plain 32-bit number
    // reads back as that number, any other text stays text.
    const std::tuple<int32_t, RegistryValue, RegistryValue, int32_t> cases[] = {
        {4, int32_t{INT32_MIN}, int32_t{INT32_MIN}, 4},
        {1, "C:\\walk, run.kva", "C:\\walk, run.kva", 1},
        {1, "/j\xc3\xbcrgen/a=\"%b%\"", "/j\xc3\xbcrgen/a=\"%b%\"", 1},
        {1, int32_t{42}, int32_t{42}, 4},
        {1, "007", "007", 1},
    };
    EXPECT_FALSE(Key(store_, kProgramKey, "", 1).KeyExists());
    for (const auto& [writeType, written, read, readType] : cases) {
        ASSERT_FALSE(Key(store_, kRecentKey, "v", writeType).SetValue(written));
        cRegistry reader = Key(store_, kRecentKey, "v", 0);
        EXPECT_EQ(reader.Value(), read) << RegistryValueText(written);
        EXPECT_EQ(reader.ValueType(), readType) << RegistryValueText(written);
    }
    cRegistry missing = Key(store_, kProgramKey, "missing", 4);
    missing.SetDefault("none");
    EXPECT_EQ(missing.Value(), RegistryValue{"none"});
    EXPECT_FALSE(missing.SetValue("255")) << "type 4 writes nothing for a text, and does not fail";
    EXPECT_EQ(Key(store_, kProgramKey, "missing", 4).Value(), RegistryValue{});

    Names names;
    int32_t count = 0;
    ASSERT_TRUE(Key(store_, kProgramKey, "", 1).KeyExists());
    ASSERT_TRUE(Key(store_, kRecentKey, "", 1).EnumerateValues(names, count));
    EXPECT_EQ(names, (Names{"", "v"}));
    EXPECT_FALSE(Key(store_, std::string(kProgramKey) + "\\Other", "", 1).EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
}

TEST_F(StoreTest, RefusedAndFailedWritesRaise26001) {
    const std::tuple<int32_t, std::string, std::string, int32_t> refused[] = {
        {kHkeyCurrentUser, kProgramKey, "v", 7},                // unknown type
        {kHkeyCurrentUser, kProgramKey, "", 4},                 // no value name
        {kHkeyCurrentUser, "Talvenor Electronics", "v", 4},     // outside Software
        {static_cast<int32_t>(0x80000002u), kProgramKey, "v", 4},  // another root
    };
    for (const auto& [root, section, name, type] : refused) {
        cRegistry r = Key(store_, section, name, type);
        r.SetClassKey(root);
        const auto error = r.SetValue(int32_t{5});
        ASSERT_TRUE(error) << section << "|" << name << "|" << type;
        EXPECT_EQ(error->number, 26001);
        EXPECT_EQ(error->description, WriteFailure(std::to_string(root), section, name, "5"));
    }
    EXPECT_FALSE(std::filesystem::exists(programFile_));

    // As root permissions stop nothing; what stands at the file's path does.
    for (const bool folderIsFile : {true, false}) {
        std::filesystem::remove_all(dir_ + "/Talvenor Electronics");
        if (folderIsFile) std::ofstream(dir_ + "/Talvenor Electronics") << "in the way";
        else std::filesystem::create_directories(programFile_);
        const auto error = Key(store_, kRecentKey, "0", 1).SetValue("C:\\a.kva");
        ASSERT_TRUE(error) << folderIsFile;
        EXPECT_EQ(error->description, WriteFailure("-2147483647", kRecentKey, "0", "C:\\a.kva"));
    }
}

// Without a folder the program's key is the user's own settings file of
// "Talvenor Electronics" / "Kestrova v2.0" (below this program's temporary home).
TEST(RegistryDefaultLocation, IsTheUsersSettingsFileOfTheProgram) {
    ASSERT_FALSE(Key(StoreLocation{}, kRecentKey, "0", 1).SetValue("/p/a.kva"));
    std::ifstream file(kestrova::testing::kIsolatedHome +
                       "/config/Talvenor Electronics/Kestrova v2.0.conf");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Recent]\n0=/p/a.kva"), std::string::npos) << text;
}

TEST_F(StoreTest, SettingsLoadFromTheirValueNamesAndOnlyPortZeroIsRepaired) {
    ProjectSettings s{9, 7, 7, 7, 7, 7};
    LoadSettings(store_, s);
    EXPECT_EQ(s, (ProjectSettings{1, 0, 0, 0, 0, 0})) << "nothing stored";

    const std::pair<const char*, int32_t> stored[] = {
        {"AutoDisable", 11}, {"BaudRate", 12}, {"COM Port", 13}, {"SSCMode", 14}, {"SynchByte", 15},
        {"System Priority", 16}, {"COMPort", 99}, {"SystemPriority", 99}};  // the file's names last
    for (const auto& [name, value] : stored) ASSERT_FALSE(Key(store_, kProgramKey, name, 4).SetValue(value));
    LoadSettings(store_, s);
    EXPECT_EQ(s, (ProjectSettings{13, 12, 15, 14, 16, 11}));

    const std::pair<RegistryValue, int32_t> ports[] = {{int32_t{0}, 1}, {int32_t{17}, 17}, {"junk", 1}};
    for (const auto& [port, expected] : ports) {
        ASSERT_FALSE(Key(store_, kProgramKey, "COM Port", 1).SetValue(port));
        LoadSettings(store_, s);
        EXPECT_EQ(s.COMPort, expected) << RegistryValueText(port);
    }
}

TEST_F(StoreTest, SoundOffsetReadsWithinItsLimits) {
    EXPECT_EQ(LoadSoundOffset(store_), 0) << "nothing stored";
    const std::pair<RegistryValue, int32_t> stored[] = {
        {int32_t{-120}, -120}, {int32_t{-700}, -500}, {int32_t{9999}, 500}};
    for (const auto& [value, expected] : stored) {
        ASSERT_FALSE(Key(store_, kProgramKey, kValueSoundOffset, 4).SetValue(value));
        EXPECT_EQ(LoadSoundOffset(store_), expected) << RegistryValueText(value);
    }
    ASSERT_FALSE(SaveSoundOffset(store_, 35));
    EXPECT_EQ(LoadSoundOffset(store_), 35);
}
