#include "scripting/ApplicationBridge.h"

#include <filesystem>

#include "scripting/Application.h"
#include "scripting/vbscript/Value.h"

namespace tarvelo::scripting {

namespace fs = std::filesystem;
using vbs::Value;

ApplicationServer::ApplicationServer(platform::Platform& platform, Application& app, LogSink& log)
    : platform_(platform), app_(app), log_(log) {}

ApplicationServer::~ApplicationServer() { Stop(); }

bool ApplicationServer::Start(const std::string& path) {
    Stop();
    auto listener = platform_.createLocalListener();
    listener->onConnection = [this](std::unique_ptr<platform::StreamConnection> stream) {
        auto c = std::make_unique<Connection>();
        Connection* raw = c.get();
        c->stream = std::move(stream);
        c->stream->onData = [this, raw](const std::string& bytes) { Received(*raw, bytes); };
        c->stream->onClosed = [this, raw] { Forget(*raw); };
        connections_.push_back(std::move(c));
    };
    if (!listener->listen(path)) {
        log_.WriteLog("Tarvelo", "Script host: cannot listen at " + path +
                                     "; scripts in other processes cannot reach the gateway");
        return false;
    }
    // Only the gateway's own user may call in (the listener asks for this
    // too; a file system that ignored it is corrected here).
    std::error_code ec;
    if (fs::exists(path, ec)) fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, ec);
    path_ = path;
    listener_ = std::move(listener);
    return true;
}

void ApplicationServer::Stop() {
    if (listener_) listener_->close();
    listener_.reset();
    for (auto& c : connections_) {
        c->stream->onData = nullptr;
        c->stream->onClosed = nullptr;
        c->stream->close();
    }
    connections_.clear();
}

void ApplicationServer::Forget(Connection& c) {
    if (c.gone) return;
    c.gone = true;
    c.stream->onData = nullptr;
    c.stream->onClosed = nullptr;
    // Not now: the connection's own handler may be the caller.
    platform_.post([this, raw = &c] {
        connections_.remove_if([raw](const std::unique_ptr<Connection>& p) { return p.get() == raw; });
    });
}

void ApplicationServer::Received(Connection& c, const std::string& bytes) {
    c.reader.Feed(bytes);
    std::string body;
    while (!c.gone && c.reader.Next(body)) {
        const std::string answer = bridge::Frame(Answer(body));
        if (c.gone) return;  // closed while the member ran
        c.stream->send(answer);
        ++answered_;
    }
    if (c.reader.bad() && !c.gone) {
        log_.WriteLog("Tarvelo", "Script host: a local connection sent a request too large to read; closed");
        c.stream->close();
        Forget(c);
    }
}

std::string ApplicationServer::Answer(const std::string& body) {
    bridge::Call call;
    if (!bridge::DecodeCall(body, call)) {
        log_.WriteLog("Tarvelo", "Script host: a malformed request from a local connection");
        return bridge::EncodeError(5, "The request could not be read", "Tarvelo.Application");
    }
    try {
        vbs::CallArgs args(call.args.data(), call.args.size());
        return bridge::EncodeResult(app_.Call(call.member, args));
    } catch (const vbs::ScriptError& e) {
        const std::string what = e.description.empty() ? vbs::StandardErrorText(e.number) : e.description;
        return bridge::EncodeError(e.number, e.name.empty() ? what : what + ": '" + e.name + "'",
                                   e.source.empty() ? "Tarvelo.Application" : e.source);
    } catch (const std::exception& e) {
        log_.WriteLog("Tarvelo", "Script host: " + call.member + " " + e.what());
        return bridge::EncodeError(440, call.member + ": " + e.what(), "Tarvelo.Application");
    }
}

namespace {

class ApplicationProxy : public vbs::Object {
public:
    ApplicationProxy(platform::Platform& platform, std::unique_ptr<platform::StreamConnection> stream)
        : platform_(platform), stream_(std::move(stream)) {
        stream_->onData = [this](const std::string& bytes) { reader_.Feed(bytes); };
        stream_->onClosed = [] {};
    }
    ~ApplicationProxy() override { stream_->close(); }

    std::string TypeName() const override { return "Application"; }

    Value Invoke(std::string_view name, vbs::InvokeKind, vbs::CallArgs& args) override {
        if (!stream_->isOpen()) Lost();
        stream_->send(bridge::Frame(bridge::EncodeCall(name, args)));
        auto wait = platform_.createTimer();
        wait->setHandler([t = wait.get()] { t->setEnabled(false); });
        wait->start(kAnswerWaitMs);
        std::string body;
        while (!reader_.Next(body)) {
            if (reader_.bad() || !stream_->isOpen()) Lost();
            if (!wait->enabled())
                vbs::Raise(462, "Tarvelo.Application: the gateway did not answer " + std::string(name) + " within " +
                                    std::to_string(kAnswerWaitMs / 1000) + " s");
            platform_.pumpOnce();
        }
        bridge::Answer answer;
        if (!bridge::DecodeAnswer(body, answer)) vbs::Raise(462, "Tarvelo.Application: the gateway's answer could not be read");
        if (!answer.ok) throw vbs::ScriptError(answer.number, answer.description, answer.source);
        return answer.value;
    }

private:
    [[noreturn]] void Lost() {
        vbs::Raise(462, "Tarvelo.Application: the connection to the gateway was lost");
    }
    platform::Platform& platform_;
    std::unique_ptr<platform::StreamConnection> stream_;
    bridge::FrameReader reader_;
};

} // namespace

vbs::ObjectRef ConnectApplication(platform::Platform& platform, const std::string& socketPath) {
    std::unique_ptr<platform::StreamConnection> stream = platform.connectLocal(socketPath);
    if (!stream)
        vbs::Raise(429, "Tarvelo.Application: no running gateway answers at " + socketPath +
                            " (is tarvelo running, and is this its base folder?)");
    return vbs::MakeRef<ApplicationProxy>(platform, std::move(stream));
}

} // namespace tarvelo::scripting
