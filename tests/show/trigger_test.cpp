#include "show/contact_trigger.h"
#include "link/pty.h"
#include "link/serial_link.h"
#include "show/http_trigger.h"
#include "support/free_port.h"
#include "show/key_trigger.h"
#include "show/osc_trigger.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <tuple>

namespace kestrova::show {
namespace {

using kestrova::testing::FreePort;

std::string Pad(std::string s) {
    s.push_back('\0');
    while (s.size() % 4) s.push_back('\0');
    return s;
}

void SendOsc(int fd, int port, const std::string& address, const std::string& name) {
    const std::string packet = Pad(address) + Pad(name.empty() ? "," : ",s") + (name.empty() ? "" : Pad(name));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

std::vector<TriggerEvent> Collect(TriggerInbox& inbox, size_t count, int withinMs = 2000) {
    std::vector<TriggerEvent> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(withinMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        inbox.Wait(10);
        for (TriggerEvent& e : inbox.Take()) got.push_back(std::move(e));
    }
    return got;
}

// OSC on the loopback: a name in the message names the trigger; other
// addresses are not triggers; a flood is bounded and counted.
TEST(Triggers, OscOnLoopback) {
    TriggerInbox inbox;
    const int port = FreePort(SOCK_DGRAM);
    OscTrigger osc(inbox, "osc", port, false);
    std::string reason;
    ASSERT_TRUE(osc.Start(reason)) << reason;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    SendOsc(fd, port, "/kestrova/trigger", "");
    SendOsc(fd, port, "/kestrova/other", "");
    SendOsc(fd, port, "/kestrova/trigger", "mat");
    const std::vector<TriggerEvent> got = Collect(inbox, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].trigger, "osc");
    EXPECT_EQ(got[1].trigger, "mat");
    EXPECT_TRUE(Collect(inbox, 1, 100).empty());

    for (int i = 0; i < 10000; ++i) SendOsc(fd, port, "/kestrova/trigger", "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(inbox.Take().size(), TriggerInbox::kBound);
    EXPECT_GT(inbox.Dropped(), 0);
    ::close(fd);

    OscTrigger taken(inbox, "again", port, false);
    EXPECT_FALSE(taken.Start(reason));
    EXPECT_NE(reason.find(std::to_string(port)), std::string::npos) << reason;
}

TEST(Triggers, KeyLines) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    TriggerInbox inbox;
    {
        KeyTrigger key(inbox, "key", pipeFds[0]);
        std::string reason;
        ASSERT_TRUE(key.Start(reason));
        const std::string typed = "mat\n\nx\x1b[A\n";
        ASSERT_EQ(::write(pipeFds[1], typed.data(), typed.size()), ssize_t(typed.size()));
        const std::vector<TriggerEvent> got = Collect(inbox, 3);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].trigger, "mat");
        EXPECT_EQ(got[1].trigger, "key");
        EXPECT_EQ(got[2].trigger, "x[A");
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

// A raw HTTP exchange on the loopback; the answer's status code.
int Request(int port, const std::string& text) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
    }
    char buffer[512] = {};
    const ssize_t n = ::recv(fd, buffer, sizeof buffer - 1, 0);
    ::close(fd);
    int status = 0;
    return n > 0 && std::sscanf(buffer, "HTTP/1.1 %d", &status) == 1 ? status : 0;
}

std::string Post(const std::string& path, const std::string& body, const std::string& auth = "") {
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           (auth.empty() ? "" : "Authorization: " + auth + "\r\n") + "\r\n" + body;
}

int Exchange(int port, const std::string& text) {
    auto answer = std::async(std::launch::async, Request, port, text);
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return answer.get();
}

// HTTP on the loopback: what is asked wrongly gets an error status and
// posts nothing.
TEST(Triggers, HttpRequests) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    TriggerInbox inbox;
    const int port = FreePort(SOCK_STREAM), guarded = FreePort(SOCK_STREAM);
    HttpTrigger open(inbox, "web", "127.0.0.1", port, "", [] { return std::string("{\"state\":\"idle\"}"); });
    HttpTrigger secret(inbox, "web", "127.0.0.1", guarded, "s3cret-word", [] { return std::string("{}"); });
    std::string reason;
    ASSERT_TRUE(open.Start(reason)) << reason;
    ASSERT_TRUE(secret.Start(reason)) << reason;

    const std::tuple<int, std::string, int, const char*> cases[] = {
        {port, Post("/trigger", ""), 202, "web"},
        {port, Post("/trigger?name=mat", ""), 202, "mat"},
        {port, Post("/trigger", "{\"name\": \"pir\"}"), 202, "pir"},
        {port, "GET /status HTTP/1.1\r\nHost: x\r\n\r\n", 200, nullptr},
        {port, "GET /trigger HTTP/1.1\r\nHost: x\r\n\r\n", 405, nullptr},
        {port, Post("/trigger", "{not json"), 400, nullptr},
        {port, Post("/trigger", "{\"name\": 5}"), 400, nullptr},
        {port, Post("/trigger", std::string(100000, 'x')), 413, nullptr},
        {port, Post("/elsewhere", ""), 404, nullptr},
        {guarded, Post("/trigger", ""), 401, nullptr},
        {guarded, Post("/trigger", "", "Bearer wrong-word"), 401, nullptr},
        {guarded, Post("/trigger", "", "Bearer s3cret-word"), 202, "web"},
    };
    for (const auto& [to, text, status, trigger] : cases) {
        EXPECT_EQ(Exchange(to, text), status) << text.substr(0, 60);
        const std::vector<TriggerEvent> posted = inbox.Take();
        ASSERT_EQ(posted.size(), trigger ? 1u : 0u) << text.substr(0, 60);
        if (trigger) {
            EXPECT_EQ(posted[0].trigger, trigger);
        }
    }
    HttpTrigger taken(inbox, "web", "127.0.0.1", port, "", [] { return std::string(); });
    EXPECT_FALSE(taken.Start(reason));
}

// A contact read through a reader the test scripts: each change posted
// once (inverted when active low); a failing reader is told once, tried
// again and told when it works.
class ScriptedReader : public ContactReader {
public:
    std::mutex mutex;
    bool high = false;
    int failReads = 0;
    int opens = 0;
    bool Open(std::string&) override {
        std::lock_guard lock(mutex);
        ++opens;
        return true;
    }
    bool Read(bool& level, std::string& reason) override {
        std::lock_guard lock(mutex);
        if (failReads > 0) {
            --failReads;
            reason = "unplugged";
            return false;
        }
        level = high;
        return true;
    }
    std::string Describe() const override { return "DSR of test"; }
    void Set(bool level, int fails = 0) {
        std::lock_guard lock(mutex);
        high = level;
        failReads = fails;
    }
};

TEST(Triggers, ContactChanges) {
    for (bool activeLow : {false, true}) {
        TriggerInbox inbox;
        auto owned = std::make_unique<ScriptedReader>();
        ScriptedReader& reader = *owned;
        reader.high = activeLow;  // open
        std::mutex toldMutex;
        std::vector<std::string> told;
        ContactTrigger contact(inbox, "mat", activeLow, std::move(owned),
                               [&](const std::string& t) {
                                   std::lock_guard lock(toldMutex);
                                   told.push_back(t);
                               },
                               1, 20);
        std::string reason;
        ASSERT_TRUE(contact.Start(reason));
        EXPECT_TRUE(Collect(inbox, 1, 50).empty());
        reader.Set(!activeLow);
        std::vector<TriggerEvent> got = Collect(inbox, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got[0].level && got[0].active);
        reader.Set(!activeLow, 1);  // unplugged while closed: seen to open
        got = Collect(inbox, 2, 300);
        ASSERT_GE(got.size(), 1u);
        EXPECT_FALSE(got[0].active);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        std::lock_guard lock(toldMutex);
        ASSERT_EQ(told.size(), 2u);
        EXPECT_NE(told[0].find("unplugged"), std::string::npos);
        EXPECT_NE(told[1].find("works again"), std::string::npos);
    }
}

// A modem line is read through the link's own open port, never by opening
// the device again: nothing while the link is closed, and a pseudo-terminal,
// which has no such lines, is reported as unreadable, never read as open.
TEST(Triggers, ModemLineReadsThroughTheLink) {
    testing::Pty pty;
    SerialLink link;
    link.SetDeviceOverride(pty.Path());
    const std::unique_ptr<ContactReader> reader = MakeModemReader(link, pty.Path(), "DSR");
    EXPECT_EQ(reader->Describe(), "DSR of " + pty.Path());
    std::string reason;
    EXPECT_FALSE(reader->Open(reason));
    EXPECT_EQ(reason, pty.Path() + ": The port is not open");
    ASSERT_TRUE(link.Open(reason)) << reason;
    bool high = true;
    EXPECT_FALSE(reader->Read(high, reason));
    EXPECT_EQ(reason.rfind(pty.Path() + ": The port cannot report its modem lines (", 0), 0u) << reason;
    link.Close();
    EXPECT_FALSE(reader->Read(high, reason));
    EXPECT_EQ(reason, pty.Path() + ": The port is not open");
    link.SetDeviceOverride(kVirtualControllerDevice);
    ASSERT_TRUE(link.Open(reason)) << reason;
    EXPECT_FALSE(reader->Read(high, reason));
    EXPECT_EQ(reason, pty.Path() + ": The virtual controller has no modem lines");
}

}  // namespace
}  // namespace kestrova::show
