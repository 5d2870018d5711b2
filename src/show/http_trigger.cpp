#include "http_trigger.h"

#include "playback/process_priority.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <future>

namespace kestrova::show {

namespace {

using Status = QHttpServerResponse::StatusCode;

QHttpServerResponse Error(Status status, const char* text) {
    return QHttpServerResponse(QJsonObject{{"error", text}}, status);
}

// The same time whatever the first difference, so the secret cannot be
// guessed a character at a time.
bool SameSecret(const QByteArray& given, const std::string& secret) {
    unsigned difference = unsigned(given.size()) ^ unsigned(secret.size());
    for (size_t i = 0; i < secret.size(); ++i) {
        difference |= unsigned(uint8_t(i < size_t(given.size()) ? given[qsizetype(i)] : 0) ^ uint8_t(secret[i]));
    }
    return difference == 0;
}

}  // namespace

HttpTrigger::HttpTrigger(TriggerInbox& inbox, std::string name, std::string address, int32_t port,
                         std::string secret, std::function<std::string()> status)
    : inbox_(inbox), name_(std::move(name)), address_(std::move(address)), port_(port), secret_(std::move(secret)),
      status_(std::move(status)) {}

// Builds the server on its own thread, says whether it listens, and runs
// that thread's event loop until the trigger ends.
class HttpTrigger::ServerThread : public QThread {
public:
    explicit ServerThread(HttpTrigger& trigger) : trigger_(trigger) {}
    std::future<std::string> Started() { return started_.get_future(); }

protected:
    void run() override {
        SetPromptWakeups(true);  // a request preempts busy work the moment it arrives
        QHttpServer server;
        const std::string problem = trigger_.Serve(server);
        started_.set_value(problem);
        if (problem.empty()) exec();
    }

private:
    HttpTrigger& trigger_;
    std::promise<std::string> started_;
};

HttpTrigger::~HttpTrigger() {
    if (thread_) {
        thread_->quit();
        thread_->wait();
    }
}

std::string HttpTrigger::Describe() const {
    return "HTTP on " + address_ + ":" + std::to_string(port_) + (secret_.empty() ? "" : " (with the secret)");
}

bool HttpTrigger::Start(std::string& reason) {
    auto thread = std::make_unique<ServerThread>(*this);
    std::future<std::string> started = thread->Started();
    thread->start();
    reason = started.get();
    if (!reason.empty()) {
        thread->wait();
        return false;
    }
    thread_ = std::move(thread);
    return true;
}

std::string HttpTrigger::Serve(QHttpServer& server) {
    auto allowed = [this](const QHttpServerRequest& request) {
        return secret_.empty() || SameSecret(request.value("Authorization"), "Bearer " + secret_);
    };
    server.route("/trigger", [this, allowed](const QHttpServerRequest& request) {
        if (request.method() != QHttpServerRequest::Method::Post) {
            return Error(Status::MethodNotAllowed, "POST starts a show");
        }
        if (!allowed(request)) return Error(Status::Unauthorized, "the secret is missing or wrong");
        const QByteArray body = request.body();
        if (body.size() > kMaxBody) return Error(Status::PayloadTooLarge, "the request is too large");
        std::string name = request.query().queryItemValue("name").toStdString();
        if (!body.trimmed().isEmpty()) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(body, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject()) {
                return Error(Status::BadRequest, "the body must be a JSON object");
            }
            const QJsonValue given = document.object().value("name");
            if (!given.isUndefined() && !given.isString()) return Error(Status::BadRequest, "name must be a text");
            if (given.isString()) name = given.toString().toStdString();
        }
        std::string kept;
        for (char c : name) {
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && kept.size() < 64) kept.push_back(c);
        }
        inbox_.Post(TriggerEvent{kept.empty() ? name_ : kept,
                                 "HTTP from " + request.remoteAddress().toString().toStdString(), false, true});
        return QHttpServerResponse(QJsonObject{{"accepted", true}}, Status::Accepted);
    });
    server.route("/status", [this, allowed](const QHttpServerRequest& request) {
        if (request.method() != QHttpServerRequest::Method::Get) return Error(Status::MethodNotAllowed, "GET only");
        if (!allowed(request)) return Error(Status::Unauthorized, "the secret is missing or wrong");
        return QHttpServerResponse("application/json", QByteArray::fromStdString(status_()));
    });
    const QHostAddress address(address_ == "localhost" ? QString("127.0.0.1") : QString::fromStdString(address_));
    if (address.isNull()) return "the address " + address_ + " is not an IP address";
    if (server.listen(address, quint16(port_)) == 0) {
        return "TCP port " + std::to_string(port_) + " on " + address_ + " cannot be opened (in use?)";
    }
    return "";
}

}  // namespace kestrova::show
