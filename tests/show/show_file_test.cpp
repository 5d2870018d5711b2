#include "show/show_file.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrova::show {
namespace {

// Every problem a file has is named by its entry, all at once.
TEST(ShowFile, ProblemsNameTheirEntries) {
    const std::tuple<const char*, std::vector<std::string>> cases[] = {
        {R"({"shows": ["a.kva"]})", {}},
        {R"({"shows": []})", {"shows"}},
        {R"({"shows": ["a.kva"], "colour": 3})", {"colour"}},
        {R"({"shows": ["a.kva", 7, {"project": "b.kva", "speed": 2}]})", {"shows[1]", "shows[2].speed"}},
        {R"({"shows": ["a.kva"], "order": "by-trigger"})", {"shows[0].trigger"}},
        {R"({"shows": ["a.kva"], "order": "shuffle", "cooldownSeconds": -1, "framesPerSecond": 2.5})",
         {"framesPerSecond", "order", "cooldownSeconds"}},
        {R"({"shows": ["a.kva"], "triggers": [{"type": "osc", "port": 70000}, {"type": "telepathy"}]})",
         {"triggers[0].port", "triggers[1].type"}},
        {R"({"shows": ["a.kva"], "triggers": [{"type": "http", "address": "0.0.0.0"}]})", {"triggers[0].secret"}},
        {R"({"shows": ["a.kva"], "triggers": [{"type": "osc"}, {"type": "osc", "name": "b"}]})",
         {"triggers[1].port"}},
        {R"({"shows": ["a.kva"], "triggers": [{"type": "modem", "line": "RTS"}, {"type": "gpio"}]})",
         {"triggers[0].line", "triggers[1].line"}},
        {R"({"shows": ["a.kva"], "quietHours": {"from": "22:00", "to": "7:00"}})", {"quietHours.to"}},
        {R"({"shows": ["a.kva"], "port": {"device": "", "baud": 12}})", {"port.device", "port.baud"}},
    };
    for (const auto& [text, entries] : cases) {
        const ShowFileRead read = ParseShowFile(text, "/shows");
        std::vector<std::string> got;
        for (const ShowFileProblem& p : read.problems) got.push_back(p.entry);
        EXPECT_EQ(got, entries) << text;
    }
}

TEST(ShowFile, SyntaxErrorsGiveLineAndColumn) {
    const ShowFileRead read = ParseShowFile("{\n  \"shows\": [\"a.kva\",]\n}", "");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_NE(read.problems[0].text.find("line 2, column"), std::string::npos) << read.problems[0].text;
    EXPECT_FALSE(ParseShowFile(std::string(2 << 20, ' '), "").ok());
    EXPECT_FALSE(ParseShowFile("[1, 2]", "").ok());
}

// What the editor writes reads back as the same show.
TEST(ShowFile, ComposedFileReadsBack) {
    ShowFile f;
    f.device = "/dev/ttyUSB0";
    f.framesPerSecond = 20;
    f.idle = "idle.kva";
    f.shows = {{"scare.kva", "mat"}, {"laugh.kva", "pir"}};
    f.order = Order::ByTrigger;
    TriggerSetup osc;
    osc.kind = TriggerKind::Osc;
    osc.name = "osc";
    osc.port = 9001;
    TriggerSetup gpio;
    gpio.kind = TriggerKind::Gpio;
    gpio.name = "pir";
    gpio.chip = "/dev/gpiochip0";
    gpio.offset = 17;
    gpio.activeLow = true;
    f.triggers = {osc, gpio};
    f.cooldownMs = 12000;
    f.warmUpMs = 30000;
    f.minPulseMs = 50;
    f.quiet = QuietHours{22 * 60, 7 * 60};
    f.onStop = StopAction::IdleFirstFrame;

    const ShowFileRead read = ParseShowFile(ComposeShowFile(f), "/here");
    ASSERT_TRUE(read.ok()) << read.problems[0].Line();
    const ShowFile& g = read.file;
    EXPECT_EQ(g.device, f.device);
    EXPECT_EQ(g.framesPerSecond, 20);
    EXPECT_EQ(g.shows[1].trigger, "pir");
    EXPECT_EQ(g.order, Order::ByTrigger);
    ASSERT_EQ(g.triggers.size(), 2u);
    EXPECT_EQ(g.triggers[0].port, 9001);
    EXPECT_EQ(g.triggers[1].offset, 17);
    EXPECT_TRUE(g.triggers[1].activeLow);
    EXPECT_EQ(g.cooldownMs, 12000);
    EXPECT_EQ(g.quiet->from, 22 * 60);
    EXPECT_EQ(g.onStop, StopAction::IdleFirstFrame);
    EXPECT_EQ(g.Resolve("idle.kva"), "/here/idle.kva");
    EXPECT_EQ(g.Resolve("/abs/idle.kva"), "/abs/idle.kva");
}

}  // namespace
}  // namespace kestrova::show
