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
    bool reading = true;        // a send completes only while the browser reads
    int pendingCompletions = 0; // sends that will complete once it reads again
};

class SimConnection : public platform::TcpConnection {
public:
    SimConnection(sim::SimPlatform& platform, std::shared_ptr<BrowserEnd> end, std::string address)
        : platform_(platform), end_(std::move(end)), address_(std::move(address)) {}
    ~SimConnection() override { *alive_ = false; }

    bool send(const std::string& bytes) override {
        if (state_ != Connected) return false;
        end_->received += bytes;
        end_->sends.push_back(bytes.size());
        if (end_->reading) complete();
        else ++end_->pendingCompletions;
        return true;
    }
    void close() override {
        if (state_ == Connected) end_->closedByServer = true;
        state_ = platform::TcpSocket::Closed;
    }
    platform::TcpSocket::State state() const override { return state_; }
    std::string remoteAddress() const override { return address_; }

    // The browser's side.
    void deliver(const std::string& bytes) {
        if (state_ == Connected && onData) onData(bytes);
    }
    void peerClosed() {
        if (state_ != Connected) return;
        state_ = platform::TcpSocket::Closed;
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
    using State = platform::TcpSocket::State;
    static constexpr State Connected = platform::TcpSocket::Connected;
    sim::SimPlatform& platform_;
    std::shared_ptr<BrowserEnd> end_;
    std::string address_;
    State state_ = Connected;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class SimListener : public platform::TcpListener {
public:
    explicit SimListener(sim::SimPlatform& platform) : platform_(platform) {}
    ~SimListener() override { *alive_ = false; }

    bool listen(const std::string&, uint16_t port, std::string& error) override {
        if (taken != 0 && port == taken) {
            error = "The address is in use";
            return false;
        }
        port_ = port == 0 ? 40123 : port;
        return true;
    }
    int localPort() const override { return port_; }
    std::unique_ptr<platform::TcpConnection> accept() override {
        if (pending_.empty()) return nullptr;
        auto c = std::move(pending_.front());
        pending_.pop_front();
        return c;
    }
    void close() override { port_ = 0; }

    // A browser connects: the connection waits to be accepted.
    SimConnection* connect(std::shared_ptr<BrowserEnd> end, const std::string& address) {
        auto c = std::make_unique<SimConnection>(platform_, std::move(end), address);
        SimConnection* raw = c.get();
        pending_.push_back(std::move(c));
        auto alive = alive_;
        platform_.post([this, alive] {
            if (*alive && onConnection) onConnection();
        });
        return raw;
    }
    bool listening() const { return port_ != 0; }

    uint16_t taken = 0;  // a port another program holds

private:
    sim::SimPlatform& platform_;
    int port_ = 0;
    std::deque<std::unique_ptr<SimConnection>> pending_;
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
