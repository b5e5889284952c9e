#pragma once
// The host object for scripts in other processes. The gateway listens on a
// local socket (Data/Tarvelo.sock, only its own user may connect); a script
// runner's "Tarvelo.Application" object forwards each member call there and
// waits for the answer, so a spawned job calls the running gateway's members
// as the main script does. A member's error is raised in the calling script.
//
// Calls are answered one at a time, in order, on the gateway's loop: a call
// blocks the gateway as long as the member runs, as the main script's do.

#include <list>
#include <memory>
#include <string>

#include "common/Guard.h"
#include "platform/Platform.h"
#include "scripting/BridgeCodec.h"
#include "scripting/vbscript/Runtime.h"

namespace tarvelo::scripting {

class Application;

class ApplicationServer {
public:
    ApplicationServer(platform::Platform& platform, Application& app, LogSink& log);
    ~ApplicationServer();

    // Listens at `path`; logs and gives false when it cannot.
    bool Start(const std::string& path);
    void Stop();
    bool listening() const { return listener_ != nullptr; }
    size_t connections() const { return connections_.size(); }
    uint64_t callsAnswered() const { return answered_; }

private:
    struct Connection {
        std::unique_ptr<platform::StreamConnection> stream;
        bridge::FrameReader reader;
        bool gone = false;
    };
    void Received(Connection& c, const std::string& bytes);
    std::string Answer(const std::string& body);
    void Forget(Connection& c);

    platform::Platform& platform_;
    Application& app_;
    LogSink& log_;
    std::unique_ptr<platform::LocalListener> listener_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::string path_;
    uint64_t answered_ = 0;
};

// The script runner's side: connects at once and raises error 429, with the
// reason, when no gateway answers at `socketPath`.
vbs::ObjectRef ConnectApplication(platform::Platform& platform, const std::string& socketPath);

// How long a script waits for one member's answer before giving up (the
// gateway's own script time-out is 90 s).
constexpr int kAnswerWaitMs = 150000;

} // namespace tarvelo::scripting
