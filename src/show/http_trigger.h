#pragma once
// HTTP: POST /trigger (an optional "name" in the query or a JSON body)
// starts a show, GET /status answers the runner's state as JSON. Bound to
// the loopback address unless the show file names another; with a secret
// set, every request must carry it as "Authorization: Bearer SECRET".
// Served on a thread of its own, so a request is answered and its trigger
// posted the moment it arrives, whatever the runner is doing; `status` is
// therefore called from that thread.

#include "trigger.h"

#include <functional>
#include <memory>
#include <string>

class QHttpServer;
class QThread;

namespace kestrova::show {

class HttpTrigger : public TriggerSource {
public:
    HttpTrigger(TriggerInbox& inbox, std::string name, std::string address, int32_t port, std::string secret,
                std::function<std::string()> status);
    ~HttpTrigger() override;
    bool Start(std::string& reason) override;
    std::string Describe() const override;

    static constexpr int kMaxBody = 4096;

private:
    class ServerThread;
    // Sets up the routes and listens; the reason when it cannot.
    std::string Serve(QHttpServer& server);

    TriggerInbox& inbox_;
    std::string name_, address_;
    int32_t port_;
    std::string secret_;
    std::function<std::string()> status_;
    std::unique_ptr<QThread> thread_;
};

}  // namespace kestrova::show
