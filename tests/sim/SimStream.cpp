#include "sim/SimStream.h"

#include <algorithm>
#include <utility>

namespace tarvelo::sim {

// One end of a simulated connection.
class SimStreamEnd final : public platform::StreamConnection {
public:
    SimStreamEnd(SimStreamNet& net, std::string remote) : net_(net), remote_(std::move(remote)) {}
    ~SimStreamEnd() override {
        *alive_ = false;
        if (!closed_) hangUp();
    }

    static void Join(SimStreamEnd& a, SimStreamEnd& b) {
        a.peer_ = &b;
        a.peerAlive_ = b.alive_;
        b.peer_ = &a;
        b.peerAlive_ = a.alive_;
    }

    bool send(const std::string& bytes) override {
        if (closed_ || peerGone_) return false;
        if (peer_) {
            net_.platform.at(net_.latencyMs, [peer = peer_, peerAlive = peerAlive_, bytes] {
                if (*peerAlive) peer->arrive(bytes);
            });
        }
        if (!completeQueued_) {
            completeQueued_ = true;
            later(0, [this] {
                completeQueued_ = false;
                if (closed_) return;
                if (auto handler = onSendComplete) net_.platform.runHandler("connection", handler);
            });
        }
        return true;
    }

    void close() override {
        if (closed_) return;
        closed_ = true;
        hangUp();
    }

    bool isOpen() const override { return !closed_ && !peerGone_; }
    std::string remoteAddress() const override { return remote_; }

    // The owner has its handlers in place: deliver what came before.
    void start() {
        started_ = true;
        later(0, [this] { service(); });
    }
    const std::shared_ptr<bool>& alive() const { return alive_; }

private:
    // The peer sees the close after the bytes already on their way.
    void hangUp() {
        if (!peer_) return;
        net_.platform.at(net_.latencyMs, [peer = peer_, peerAlive = peerAlive_] {
            if (*peerAlive) peer->peerClosed();
        });
        peer_ = nullptr;
    }

    void arrive(const std::string& bytes) {
        if (closed_) return;
        inbox_ += bytes;
        service();
    }

    void peerClosed() {
        if (closed_ || peerGone_) return;
        peerGone_ = true;
        peer_ = nullptr;
        service();
    }

    // As the Qt adapter: everything available, never re-entering onData, and
    // the peer's close after the last data.
    void service() {
        if (busy_ || closed_ || !started_) return;
        busy_ = true;
        const std::shared_ptr<bool> alive = alive_;
        while (!closed_ && onData && !inbox_.empty()) {
            const std::string data = std::exchange(inbox_, std::string());
            auto handler = onData;  // the handler may destroy this end
            net_.platform.runHandler("connection", [&] { handler(data); });
            if (!*alive) return;
        }
        busy_ = false;
        if (peerGone_ && !closed_ && !closedReported_) {
            closedReported_ = true;
            if (auto handler = onClosed) net_.platform.runHandler("connection", handler);
        }
    }

    void later(int64_t delayMs, std::function<void()> call) {
        net_.platform.at(delayMs, [alive = alive_, call = std::move(call)] {
            if (*alive) call();
        });
    }

    SimStreamNet& net_;
    std::string remote_;
    SimStreamEnd* peer_ = nullptr;
    std::shared_ptr<bool> peerAlive_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string inbox_;
    bool started_ = false;  // handed to its owner
    bool closed_ = false;
    bool peerGone_ = false;
    bool closedReported_ = false;
    bool completeQueued_ = false;
    bool busy_ = false;
};

namespace {

// Hands the server's end to the listener's owner through the loop; an end
// left unclaimed, or offered to a listener that has gone, is closed.
template <class Listener>
void Offer(SimStreamNet& net, Listener& listener, std::unique_ptr<SimStreamEnd> end) {
    auto box = std::make_shared<std::unique_ptr<SimStreamEnd>>(std::move(end));
    net.platform.at(net.latencyMs, [&listener, listenerAlive = listener.alive(), box] {
        if (!*listenerAlive) return;
        SimStreamEnd* raw = box->get();
        const std::shared_ptr<bool> endAlive = raw->alive();
        auto handler = listener.onConnection;
        if (handler) handler(std::unique_ptr<platform::StreamConnection>(box->release()));
        box->reset();
        if (*endAlive) raw->start();
    });
}

} // namespace

class SimTcpListener final : public platform::TcpListener {
public:
    explicit SimTcpListener(SimStreamNet& net) : net_(net) {}
    ~SimTcpListener() override {
        *alive_ = false;
        close();
    }
    int listen(const std::string& address, uint16_t port) override {
        close();
        const int error = net_.listenTcp(this, address, port);
        if (error == 0) port_ = port;
        return error;
    }
    uint16_t port() const override { return port_; }
    void close() override {
        net_.forget(this);
        port_ = 0;
    }

    void accept(std::unique_ptr<SimStreamEnd> end) { Offer(net_, *this, std::move(end)); }
    const std::shared_ptr<bool>& alive() const { return alive_; }

private:
    SimStreamNet& net_;
    uint16_t port_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class SimLocalListener final : public platform::LocalListener {
public:
    explicit SimLocalListener(SimStreamNet& net) : net_(net) {}
    ~SimLocalListener() override {
        *alive_ = false;
        close();
    }
    bool listen(const std::string& path) override {
        close();
        return net_.listenLocal(this, path);
    }
    void close() override { net_.forget(this); }

    void accept(std::unique_ptr<SimStreamEnd> end) { Offer(net_, *this, std::move(end)); }
    const std::shared_ptr<bool>& alive() const { return alive_; }

private:
    SimStreamNet& net_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

std::unique_ptr<platform::StreamConnection> SimStreamNet::connectTcp(uint16_t port, const std::string& fromAddress) {
    auto it = tcp_.find(port);
    if (it == tcp_.end()) return nullptr;
    auto client = std::make_unique<SimStreamEnd>(*this, "127.0.0.1");
    auto server = std::make_unique<SimStreamEnd>(*this, fromAddress);
    SimStreamEnd::Join(*client, *server);
    it->second->accept(std::move(server));
    client->start();
    return client;
}

std::unique_ptr<platform::StreamConnection> SimStreamNet::connectLocal(const std::string& path) {
    auto it = local_.find(path);
    if (it == local_.end()) return nullptr;
    auto client = std::make_unique<SimStreamEnd>(*this, "local");
    auto server = std::make_unique<SimStreamEnd>(*this, "local");
    SimStreamEnd::Join(*client, *server);
    it->second->accept(std::move(server));
    client->start();
    return client;
}

int SimStreamNet::listenTcp(SimTcpListener* listener, const std::string& address, uint16_t& port) {
    const auto& own = platform.addresses;
    if (address != "0.0.0.0" && address != "127.0.0.1" && std::find(own.begin(), own.end(), address) == own.end())
        return 10049;
    if (port == 0) {
        while (tcp_.count(nextFreePort_) || takenPorts.count(nextFreePort_)) ++nextFreePort_;
        port = nextFreePort_++;
    } else if (tcp_.count(port) || takenPorts.count(port)) {
        return 10048;
    }
    tcp_[port] = listener;
    return 0;
}

bool SimStreamNet::listenLocal(SimLocalListener* listener, const std::string& path) {
    if (path.empty() || local_.count(path)) return false;
    local_[path] = listener;
    return true;
}

void SimStreamNet::forget(const void* listener) {
    std::erase_if(tcp_, [listener](const auto& entry) { return entry.second == listener; });
    std::erase_if(local_, [listener](const auto& entry) { return entry.second == listener; });
}

SimBrowser::SimBrowser(SimPlatform& platform, std::string address) : platform_(platform), address_(std::move(address)) {}

bool SimBrowser::connect(uint16_t port) {
    close();
    received.clear();
    closedByServer = false;
    link_ = platform_.streams().connectTcp(port, address_);
    if (!link_) return false;
    link_->onData = [this](const std::string& bytes) { received += bytes; };
    link_->onClosed = [this] { closedByServer = true; };
    return true;
}

bool SimBrowser::send(const std::string& bytes) { return link_ && link_->send(bytes); }

void SimBrowser::close() {
    if (link_) link_->close();
    link_.reset();
}

bool SimBrowser::connected() const { return link_ && link_->isOpen(); }

std::unique_ptr<platform::TcpListener> SimPlatform::createTcpListener() {
    return std::make_unique<SimTcpListener>(*streams_);
}

std::unique_ptr<platform::LocalListener> SimPlatform::createLocalListener() {
    return std::make_unique<SimLocalListener>(*streams_);
}

std::unique_ptr<platform::StreamConnection> SimPlatform::connectLocal(const std::string& path) {
    return streams_->connectLocal(path);
}

} // namespace tarvelo::sim
