#pragma once
// Simulated browsers for the web server, in virtual time: a listener whose
// connections deliver what a browser sends, record what the server sends
// back (piece by piece) and report each send's completion unless the browser
// has stopped reading.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "sim/SimPlatform.h"

namespace tarvelo::testing {

// The browser's end of one connection.
struct BrowserEnd {
    std::string received;
    std::vector<size_t> sends;  // bytes of each send the server made
    bool closedByServer = false;
    bool closedByBrowser = false;
    bool reset = false;         // cut without an orderly close
    bool reading = true;        // a send completes only while the browser reads
    int pendingCompletions = 0; // sends that will complete once it reads again
};

class SimConnection : public platform::StreamConnection {
public:
    SimConnection(sim::SimPlatform& platform, std::shared_ptr<BrowserEnd> end, std::string address)
        : platform_(platform), end_(std::move(end)), address_(std::move(address)) {}
    // Destroyed while open: the browser sees a reset.
    ~SimConnection() override {
        *alive_ = false;
        if (open_) {
            end_->closedByServer = true;
            end_->reset = true;
        }
    }

    bool send(const std::string& bytes) override {
        if (!open_) return false;
        end_->received += bytes;
        end_->sends.push_back(bytes.size());
        if (end_->reading) complete();
        else ++end_->pendingCompletions;
        return true;
    }
    void close() override {
        if (open_) end_->closedByServer = true;
        open_ = false;
        onData = nullptr;
        onSendComplete = nullptr;
        onClosed = nullptr;
    }
    bool isOpen() const override { return open_; }
    std::string remoteAddress() const override { return address_; }

    // The browser's side.
    void deliver(const std::string& bytes) {
        if (open_ && onData) onData(bytes);
    }
    void peerClosed() {
        if (!open_) return;
        open_ = false;
        end_->closedByBrowser = true;
        if (onClosed) onClosed();
    }
    void complete() {
        auto alive = alive_;
        platform_.at(1, [this, alive] {
            if (*alive && onSendComplete) onSendComplete();
        });
    }
    std::shared_ptr<bool> alive() const { return alive_; }

private:
    sim::SimPlatform& platform_;
    std::shared_ptr<BrowserEnd> end_;
    std::string address_;
    bool open_ = true;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class SimListener : public platform::TcpListener {
public:
    explicit SimListener(sim::SimPlatform& platform) : platform_(platform) {}
    ~SimListener() override { *alive_ = false; }

    int listen(const std::string&, uint16_t port) override {
        if (taken != 0 && port == taken) return 10048;
        port_ = port == 0 ? 40123 : port;
        return 0;
    }
    uint16_t port() const override { return port_; }
    void close() override { port_ = 0; }

    // A browser connects: the server is handed the connection through the loop.
    SimConnection* connect(std::shared_ptr<BrowserEnd> end, const std::string& address) {
        auto c = std::make_unique<SimConnection>(platform_, std::move(end), address);
        SimConnection* raw = c.get();
        auto alive = alive_;
        auto shared = std::make_shared<std::unique_ptr<SimConnection>>(std::move(c));
        platform_.post([this, alive, shared] {
            if (*alive && onConnection) onConnection(std::move(*shared));
        });
        return raw;
    }
    bool listening() const { return port_ != 0; }

    uint16_t taken = 0;  // a port another program holds

private:
    sim::SimPlatform& platform_;
    uint16_t port_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The simulation platform with a web listener.
class WebSimPlatform : public sim::SimPlatform {
public:
    std::unique_ptr<platform::TcpListener> createTcpListener() override {
        auto l = std::make_unique<SimListener>(*this);
        listener = l.get();
        if (takenPort) l->taken = takenPort;
        return l;
    }
    SimListener* listener = nullptr;
    uint16_t takenPort = 0;
};

// One browser connection.
class Browser {
public:
    explicit Browser(WebSimPlatform& platform, std::string address = "192.168.1.30")
        : platform_(platform), address_(std::move(address)) {}

    void connect() {
        end = std::make_shared<BrowserEnd>();
        connection_ = platform_.listener->connect(end, address_);
        alive_ = connection_->alive();
    }
    // Sends after delayMs of virtual time.
    void send(const std::string& bytes, int64_t delayMs = 0) {
        auto alive = alive_;
        SimConnection* c = connection_;
        platform_.at(delayMs, [c, alive, bytes] {
            if (*alive) c->deliver(bytes);
        });
    }
    void close() {
        if (*alive_) connection_->peerClosed();
    }
    void stopReading() { end->reading = false; }
    // Sends one whole request and runs until the server closes the connection.
    std::string request(const std::string& text, int64_t maxMs = 60000) {
        connect();
        send(text);
        platform_.runUntil([&] { return end->closedByServer; }, maxMs);
        return end->received;
    }
    // The body of the answer (after the blank line).
    std::string body() const {
        const size_t at = end->received.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : end->received.substr(at + 4);
    }
    bool closed() const { return end->closedByServer; }

    std::shared_ptr<BrowserEnd> end;

private:
    WebSimPlatform& platform_;
    std::string address_;
    SimConnection* connection_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(false);
};

inline std::string Get(const std::string& path) { return "GET " + path + " HTTP/1.1\r\nHost: gw\r\n\r\n"; }

inline std::string Post(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: gw\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace tarvelo::testing
