#pragma once
// HTTP: POST /trigger (an optional "name" in the query or a JSON body)
// starts a show, GET /status answers the runner's state as JSON. Bound to
// the loopback address unless the show file names another; with a secret
// set, every request must carry it as "Authorization: Bearer SECRET".
// Runs on the thread whose event loop serves it (the runner pumps it).

#include "trigger.h"

#include <functional>
#include <memory>
#include <string>

class QHttpServer;

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
    TriggerInbox& inbox_;
    std::string name_, address_;
    int32_t port_;
    std::string secret_;
    std::function<std::string()> status_;
    std::unique_ptr<QHttpServer> server_;
};

}  // namespace kestrova::show
