#include "core/messages.h"
#include "files/registry.h"
#include "files/settings_store.h"
#include "support/isolated_store.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace kestrova;
using kestrova::testing::StoreTest;

namespace {

cRegistry Key(const std::string& section, const std::string& value, int32_t type) {
    cRegistry r;
    r.SetClassKey(kHkeyCurrentUser);
    r.SetSectionKey(section);
    r.SetValueKey(value);
    r.SetValueType(type);
    return r;
}

std::string WriteFailure(const std::string& section, const std::string& name,
                         const std::string& value) {
    return "Failed to set registry value Key: '-2147483647',Section: '" + section + "',Key: '" +
           name + "' to value: '" + value + "'";
}

// Makes every write to the program's key fail: the folder that should hold
// its file is a regular file.
void BlockProgramFolder(const std::string& storeDir) {
    std::ofstream(storeDir + "/Talvenor Electronics") << "in the way";
}

}  // namespace

struct RoundTrip {
    const char* what;
    int32_t writeType;
    RegistryValue written;
    RegistryValue read;
    int32_t readType;
};

class RegistryRoundTrip : public StoreTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(RegistryRoundTrip, ReadsBackWhatWasWritten) {
    const RoundTrip& c = GetParam();
    for (const char* section : {kProgramKey, kRecentKey}) {
        cRegistry writer = Key(section, "v", c.writeType);
        ASSERT_FALSE(writer.SetValue(c.written).has_value()) << section;

        cRegistry reader = Key(section, "v", 0);
        EXPECT_EQ(reader.Value(), c.read) << section;
        EXPECT_EQ(reader.ValueType(), c.readType) << section;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryRoundTrip,
    ::testing::Values(
        RoundTrip{"number", 4, int32_t{3}, int32_t{3}, 4},
        RoundTrip{"zero", 4, int32_t{0}, int32_t{0}, 4},
        RoundTrip{"negative", 4, int32_t{-2147483647 - 1}, int32_t{-2147483647 - 1}, 4},
        RoundTrip{"path with comma", 1, std::string("C:\\Anim\\walk, run.kva"),
                  std::string("C:\\Anim\\walk, run.kva"), 1},
        RoundTrip{"percent signs", 1, std::string("%TEMP%\\a.kva"), std::string("%TEMP%\\a.kva"), 1},
        RoundTrip{"empty text", 1, std::string(), std::string(), 1},
        RoundTrip{"non-ASCII", 1, std::string("/home/j\xc3\xbcrgen/\xe2\x9c\x93.kva"),
                  std::string("/home/j\xc3\xbcrgen/\xe2\x9c\x93.kva"), 1},
        RoundTrip{"quotes and equals", 1, std::string("a=\"b\";c"), std::string("a=\"b\";c"), 1},
        // A settings file keeps no types: text that is a plain 32-bit
        // number comes back as that number, anything else stays text.
        RoundTrip{"number as text", 1, int32_t{42}, int32_t{42}, 4},
        RoundTrip{"leading zero", 1, std::string("007"), std::string("007"), 1},
        RoundTrip{"too big for 32 bits", 1, std::string("4294967296"), std::string("4294967296"), 1}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(StoreTest, MissingValueReadsTheDefaultAndLeavesTheType) {
    cRegistry r = Key(kProgramKey, "COM Port", 4);
    EXPECT_EQ(r.Value(), RegistryValue{});
    r.SetDefault(std::string("none"));
    EXPECT_EQ(r.Value(), RegistryValue{std::string("none")});
    EXPECT_EQ(r.ValueType(), 4);

    ASSERT_FALSE(Key(kProgramKey, "Other", 4).SetValue(int32_t{1}).has_value());
    EXPECT_EQ(r.Value(), RegistryValue{std::string("none")}) << "key exists, value does not";
}

TEST_F(StoreTest, NumberTypeWithTextValueWritesNothing) {
    cRegistry r = Key(kProgramKey, "SynchByte", 4);
    EXPECT_FALSE(r.SetValue(std::string("255")).has_value());
    EXPECT_FALSE(r.SetValue(RegistryValue{}).has_value());
    EXPECT_EQ(r.Value(), RegistryValue{});
}

TEST_F(StoreTest, RefusedWritesRaise26001AndStoreNothing) {
    struct Case {
        const char* what;
        int32_t root;
        std::string section;
        std::string name;
        int32_t type;
    };
    const std::vector<Case> cases{
        {"expandable-text type", kHkeyCurrentUser, kProgramKey, "v", 2},
        {"binary type", kHkeyCurrentUser, kProgramKey, "v", 3},
        {"unknown type", kHkeyCurrentUser, kProgramKey, "v", 7},
        {"no type", kHkeyCurrentUser, kProgramKey, "v", 0},
        {"empty value name", kHkeyCurrentUser, kProgramKey, "", 4},
        {"slash in value name", kHkeyCurrentUser, kProgramKey, "a/b", 4},
        {"key outside Software", kHkeyCurrentUser, "Talvenor Electronics\\Kestrova v2.0", "v", 4},
        {"bare Software", kHkeyCurrentUser, "Software", "v", 4},
    };
    for (const Case& c : cases) {
        cRegistry r = Key(c.section, c.name, c.type);
        r.SetClassKey(c.root);
        const auto error = r.SetValue(int32_t{5});
        ASSERT_TRUE(error.has_value()) << c.what;
        EXPECT_EQ(error->number, 26001) << c.what;
        EXPECT_EQ(error->source, "Kestrova.cRegistry") << c.what;
        EXPECT_EQ(error->description, WriteFailure(c.section, c.name, "5")) << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(ProgramFile()));
}

TEST_F(StoreTest, OnlyTheCurrentUsersRootIsReachable) {
    ASSERT_FALSE(Key(kProgramKey, "v", 4).SetValue(int32_t{9}).has_value());
    const int32_t kLocalMachine = static_cast<int32_t>(0x80000002u);
    cRegistry r = Key(kProgramKey, "v", 4);
    r.SetClassKey(kLocalMachine);
    EXPECT_FALSE(r.KeyExists());
    EXPECT_EQ(r.Value(), RegistryValue{});
    const auto error = r.SetValue(int32_t{1});
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->description,
              "Failed to set registry value Key: '-2147483646',Section: '" +
                  std::string(kProgramKey) + "',Key: 'v' to value: '1'");
}

TEST_F(StoreTest, WriteThatTheStoreCannotTakeRaises26001) {
    // Runs as root too, where file permissions stop nothing: the store's
    // file is made impossible to write by what stands at its path.
    for (const bool folderIsFile : {true, false}) {
        SCOPED_TRACE(folderIsFile ? "folder is a file" : "file is a folder");
        std::filesystem::remove_all(StoreDir() + "/Talvenor Electronics");
        if (folderIsFile) {
            BlockProgramFolder(StoreDir());
        } else {
            std::filesystem::create_directories(ProgramFile());
        }
        cRegistry r = Key(kProgramKey, "COM Port", 4);
        const auto error = r.SetValue(int32_t{3});
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->number, 26001);
        EXPECT_EQ(error->description, WriteFailure(kProgramKey, "COM Port", "3"));

        cRegistry text = Key(kRecentKey, "0", 1);
        const auto textError = text.SetValue(std::string("C:\\a.kva"));
        ASSERT_TRUE(textError.has_value());
        EXPECT_EQ(textError->description, WriteFailure(kRecentKey, "0", "C:\\a.kva"));
    }
}

TEST_F(StoreTest, KeysExistOnceTheyHoldValuesAndEnumerateTheirOwnValues) {
    std::vector<std::string> names{"stale"};
    int32_t count = 99;
    cRegistry program = Key(kProgramKey, "", 1);
    cRegistry recent = Key(kRecentKey, "", 1);
    EXPECT_FALSE(program.KeyExists());
    EXPECT_FALSE(recent.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, std::vector<std::string>{""});

    ASSERT_FALSE(Key(kProgramKey, "COM Port", 4).SetValue(int32_t{2}).has_value());
    EXPECT_TRUE(program.KeyExists());
    EXPECT_FALSE(recent.KeyExists()) << "a subkey exists only once it holds something";
    EXPECT_FALSE(recent.EnumerateValues(names, count));

    for (const char* name : {"0", "1", "2"})
        ASSERT_FALSE(Key(kRecentKey, name, 1).SetValue(std::string("f") + name).has_value());
    EXPECT_TRUE(recent.KeyExists());
    ASSERT_TRUE(recent.EnumerateValues(names, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names, (std::vector<std::string>{"", "0", "1", "2"}));

    ASSERT_TRUE(program.EnumerateValues(names, count));
    EXPECT_EQ(names, (std::vector<std::string>{"", "COM Port"})) << "the subkey's values are its own";

    cRegistry other = Key(std::string(kProgramKey) + "\\Other", "", 1);
    EXPECT_FALSE(other.KeyExists());
}

TEST_F(StoreTest, ProgramKeyIsTheApplicationsSettingsFileAndSubkeysAreGroups) {
    ASSERT_FALSE(Key(kProgramKey, "COM Port", 4).SetValue(int32_t{4}).has_value());
    ASSERT_FALSE(Key(kRecentKey, "0", 1).SetValue(std::string("/p/a.kva")).has_value());
    ASSERT_TRUE(std::filesystem::is_regular_file(ProgramFile()));

    QSettings file(QString::fromStdString(ProgramFile()), QSettings::IniFormat);
    EXPECT_EQ(file.value("COM Port").toInt(), 4);
    EXPECT_EQ(file.value("Recent/0").toString(), "/p/a.kva");
}

// Without a store location the program's key is the user's own settings of
// "Talvenor Electronics" / "Kestrova v2.0" (here below the test program's
// temporary home).
TEST(RegistryDefaultLocation, IsTheUsersSettingsFileOfTheProgram) {
    ASSERT_TRUE(RegistryStoreLocation().empty());
    const std::string expected = std::string(std::getenv("XDG_CONFIG_HOME")) +
                                 "/Talvenor Electronics/Kestrova v2.0.conf";
    ASSERT_EQ(expected.rfind(kestrova::testing::kIsolatedHome, 0), 0u);
    ASSERT_FALSE(Key(kProgramKey, "SSCMode", 4).SetValue(int32_t{1}).has_value());
    EXPECT_TRUE(std::filesystem::is_regular_file(expected));
    EXPECT_EQ(Key(kProgramKey, "SSCMode", 0).Value(), RegistryValue{int32_t{1}});
}

TEST(RegistryValueConversion, TextAndNumbers) {
    struct Case {
        RegistryValue value;
        std::string text;
        int32_t number;
    };
    const std::vector<Case> cases{
        {RegistryValue{}, "", 0},
        {int32_t{-12}, "-12", -12},
        {std::string("17"), "17", 17},
        {std::string("2.5"), "2.5", 2},  // halves to even
        {std::string("3.5"), "3.5", 4},
        {std::string("abc"), "abc", 0},
        {std::string("99999999999"), "99999999999", 0},
        {std::vector<uint8_t>{'h', 'i'}, "hi", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegistryValueText(c.value), c.text);
        EXPECT_EQ(RegistryValueToInt32(c.value), c.number) << c.text;
    }
}

// The six settings.

TEST_F(StoreTest, NothingStoredGivesTheFirstStartSettings) {
    ProjectSettings s;
    s.COMPort = 9;
    s.BaudRate = s.SynchByte = s.SSCMode = s.SystemPriority = s.AutoDisable = 7;
    LoadSettings(s);
    EXPECT_EQ(s, (ProjectSettings{1, 0, 0, 0, 0, 0}));
}

TEST_F(StoreTest, EachSettingComesFromItsOwnValueName) {
    const std::vector<std::pair<const char*, int32_t>> stored{
        {"AutoDisable", 11}, {"BaudRate", 12},  {"COM Port", 13},
        {"SSCMode", 14},     {"SynchByte", 15}, {"System Priority", 16},
    };
    for (const auto& [name, value] : stored)
        ASSERT_FALSE(Key(kProgramKey, name, 4).SetValue(value).has_value());
    // The project file's spellings are not the store's.
    ASSERT_FALSE(Key(kProgramKey, "COMPort", 4).SetValue(int32_t{99}).has_value());
    ASSERT_FALSE(Key(kProgramKey, "SystemPriority", 4).SetValue(int32_t{99}).has_value());

    ProjectSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.AutoDisable, 11);
    EXPECT_EQ(s.BaudRate, 12);
    EXPECT_EQ(s.COMPort, 13);
    EXPECT_EQ(s.SSCMode, 14);
    EXPECT_EQ(s.SynchByte, 15);
    EXPECT_EQ(s.SystemPriority, 16);
}

TEST_F(StoreTest, OnlyPortZeroIsRepaired) {
    struct Case {
        RegistryValue stored;  // empty: nothing stored
        int32_t type;
        int32_t port;
    };
    const std::vector<Case> cases{
        {RegistryValue{}, 4, 1},        {int32_t{0}, 4, 1},  {int32_t{17}, 4, 17},
        {int32_t{-3}, 4, -3},           {std::string("5"), 1, 5},
        {std::string("junk"), 1, 1},    {std::string(""), 1, 1},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(StoreDir() + "/Talvenor Electronics");
        if (!std::holds_alternative<std::monostate>(c.stored)) {
            ASSERT_FALSE(Key(kProgramKey, "COM Port", c.type).SetValue(c.stored).has_value());
        }
        ProjectSettings s;
        s.COMPort = 8;
        LoadSettings(s);
        EXPECT_EQ(s.COMPort, c.port) << RegistryValueText(c.stored);
    }
}

TEST_F(StoreTest, SavedSettingsLoadBackUnderTheirNames) {
    const ProjectSettings saved{5, 1, 255, 1, 2, 1};
    ASSERT_FALSE(SaveSettings(saved).has_value());

    ProjectSettings loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded, saved);

    std::vector<std::string> names;
    int32_t count = 0;
    ASSERT_TRUE(Key(kProgramKey, "", 4).EnumerateValues(names, count));
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "AutoDisable", "BaudRate", "COM Port", "SSCMode",
                                               "SynchByte", "System Priority"}));
    for (size_t i = 1; i < names.size(); ++i) {
        cRegistry r = Key(kProgramKey, names[i], 0);
        r.Value();
        EXPECT_EQ(r.ValueType(), 4) << names[i];
    }
}

TEST_F(StoreTest, FailedSaveStopsAtTheFirstValueAndIsReportedOnce) {
    BlockProgramFolder(StoreDir());
    const auto error = SaveSettings(ProjectSettings{3, 1, 200, 0, 0, 1});
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, 26001);
    EXPECT_EQ(error->description, WriteFailure(kProgramKey, "AutoDisable", "1"));

    std::vector<Message> shown;
    ScopedMessageHandler capture([&](const Message& m) {
        shown.push_back(m);
        return MessageAnswer::Ok;
    });
    ReportRegistryError(*error);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Error 26001: " + error->description);
    EXPECT_EQ(shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(shown[0].buttons, MessageButtons::Ok);
}
