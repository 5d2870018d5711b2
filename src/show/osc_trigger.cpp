#include "osc_trigger.h"

#include "playback/process_priority.h"

#include <lo/lo.h>

#include <cstring>
#include <mutex>

namespace kestrova::show {

namespace {

thread_local std::string* startError = nullptr;

void OnError(int number, const char* message, const char* where) {
    if (startError) {
        *startError = std::string(message ? message : "error") + (where ? std::string(" (") + where + ")" : "") +
                      " [" + std::to_string(number) + "]";
    }
}

bool FromLoopback(lo_message message) {
    lo_address source = lo_message_get_source(message);
    const char* host = source ? lo_address_get_hostname(source) : nullptr;
    return host && (std::strcmp(host, "127.0.0.1") == 0 || std::strcmp(host, "::1") == 0 ||
                    std::strncmp(host, "::ffff:127.", 11) == 0);
}

}  // namespace

struct OscHandler {
    static int Trigger(const char*, const char* types, lo_arg** argv, int argc, lo_message message, void* self) {
        const bool named = argc >= 1 && types && (types[0] == 's' || types[0] == 'S');
        static_cast<OscTrigger*>(self)->Receive(named ? &argv[0]->s : nullptr, FromLoopback(message));
        return 0;
    }
};

OscTrigger::OscTrigger(TriggerInbox& inbox, std::string name, int32_t port, bool fromAnywhere)
    : inbox_(inbox), name_(std::move(name)), port_(port), fromAnywhere_(fromAnywhere) {}

OscTrigger::~OscTrigger() {
    if (server_) lo_server_thread_free(static_cast<lo_server_thread>(server_));
}

std::string OscTrigger::Describe() const { return "OSC on UDP port " + std::to_string(port_); }

bool OscTrigger::Start(std::string& reason) {
    std::string error;
    startError = &error;
    lo_server_thread server = lo_server_thread_new(std::to_string(port_).c_str(), &OnError);
    startError = nullptr;
    if (!server) {
        reason = "UDP port " + std::to_string(port_) + " cannot be opened" + (error.empty() ? "" : ": " + error);
        return false;
    }
    lo_server_thread_add_method(server, "/kestrova/trigger", nullptr, &OscHandler::Trigger, this);
    // A message preempts busy work the moment it arrives.
    lo_server_thread_set_callbacks(server, [](lo_server_thread, void*) {
        SetPromptWakeups(true);
        return 0;
    }, nullptr, nullptr);
    if (lo_server_thread_start(server) != 0) {
        lo_server_thread_free(server);
        reason = "the OSC server thread did not start";
        return false;
    }
    server_ = server;
    return true;
}

void OscTrigger::Receive(const char* text, bool fromLoopback) {
    if (!fromAnywhere_ && !fromLoopback) {
        ++refused_;
        return;
    }
    TriggerEvent event{name_, "OSC", false, true};
    // A name of printable characters, at most 64 of them.
    std::string name;
    for (size_t i = 0; text && text[i] && name.size() < 64; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x20 && text[i] != 0x7F) name.push_back(text[i]);
    }
    if (!name.empty()) event.trigger = name;
    inbox_.Post(std::move(event));
}

}  // namespace kestrova::show
