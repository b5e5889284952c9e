#include "sim/SimNet.h"

namespace tarvelo::sim {

struct SimNet::Endpoint {
    virtual ~Endpoint() = default;
    virtual void deliver(const std::string& text, int64_t delayMs) = 0;
    virtual void peerClosed() {}
    virtual void error(int, const std::string&) {}
    virtual void lineEvent(int, bool) {}
};

namespace {

// Events scheduled for an endpoint are dropped when it has gone, or when it was
// closed or reconnected since (a stale event of an earlier connection).
struct Token {
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    uint64_t generation = 0;
};

class SimTcpSocket : public platform::TcpSocket, public SimNet::Endpoint {
public:
    explicit SimTcpSocket(SimNet& net) : net_(net) {}
    ~SimTcpSocket() override {
        *token_.alive = false;
        net_.detach(this);
    }

    void connectToHost(const std::string& host, uint16_t port) override {
        close();
        ++net_.connectCalls;
        state_ = Connecting;
        later(net_.connectDelayMs, [this, host, port] {
            if (net_.bridgeUp && host == net_.bridgeHost && port == net_.bridgePort) {
                state_ = Connected;
                net_.attach(this);
                if (onConnected) onConnected();
            } else {
                state_ = Error;
                if (onError) onError(10061, "Connection is forcefully rejected");
            }
        });
    }
    void close() override {
        ++token_.generation;
        net_.detach(this);
        state_ = Closed;
    }
    State state() const override { return state_; }
    bool send(const std::string& bytes) override {
        if (state_ != Connected) return false;
        net_.platform.at(net_.latencyMs, [&pim = net_.pim, bytes] { pim.received(bytes); });
        return true;
    }

    void deliver(const std::string& text, int64_t delayMs) override {
        later(delayMs + net_.latencyMs, [this, text] {
            if (state_ == Connected && onData) onData(text);
        });
    }
    void peerClosed() override {
        net_.detach(this);
        state_ = Closing;
        later(net_.latencyMs, [this] {
            if (onClosed) onClosed();
        });
    }
    void error(int number, const std::string& text) override {
        net_.detach(this);
        state_ = Error;
        later(0, [this, number, text] {
            if (onError) onError(number, text);
        });
    }

private:
    void later(int64_t delayMs, std::function<void()> call) {
        net_.platform.at(delayMs, [alive = token_.alive, generation = token_.generation, this, call] {
            if (*alive && generation == token_.generation) call();
        });
    }

    SimNet& net_;
    State state_ = Closed;
    Token token_;
};

class SimSerialPort : public platform::SerialPort, public SimNet::Endpoint {
public:
    explicit SimSerialPort(SimNet& net) : net_(net) {}
    ~SimSerialPort() override {
        *token_.alive = false;
        net_.detach(this);
    }

    bool open(const std::string& name) override {
        if (open_) return true;
        if (!net_.serialDevices.count(name)) return false;
        open_ = true;
        ++token_.generation;
        net_.attach(this);
        return true;
    }
    void close() override {
        open_ = false;
        ++token_.generation;
        net_.detach(this);
    }
    bool isOpen() const override { return open_; }
    bool write(const std::string& bytes) override {
        if (!open_) return false;
        net_.platform.at(net_.latencyMs, [&pim = net_.pim, bytes] { pim.received(bytes); });
        return true;
    }

    void deliver(const std::string& text, int64_t delayMs) override {
        later(delayMs + net_.latencyMs, [this, text] {
            if (open_ && onData) onData(text, 2);
        });
    }
    void lineEvent(int code, bool gone) override {
        if (gone) {
            open_ = false;
            net_.detach(this);
        }
        later(0, [this, code] {
            if (onData) onData("", code);
        });
    }

private:
    void later(int64_t delayMs, std::function<void()> call) {
        net_.platform.at(delayMs, [alive = token_.alive, generation = token_.generation, this, call] {
            if (*alive && generation == token_.generation) call();
        });
    }

    SimNet& net_;
    bool open_ = false;
    Token token_;
};

} // namespace

void SimPimEnd::send(const std::string& text, int64_t delayMs) { net_.toGateway(text, delayMs); }

void SimPimEnd::received(const std::string& bytes) {
    partial_ += bytes;
    size_t cr;
    while ((cr = partial_.find('\r')) != std::string::npos) {
        std::string frame = partial_.substr(0, cr + 1);
        partial_.erase(0, cr + 1);
        frames.push_back(frame);
        if (onFrame) onFrame(frame);
    }
}

void SimPimEnd::answerLikeAPim(int64_t paMs, int64_t reportMs) {
    onFrame = [this, paMs, reportMs](const std::string& frame) {
        if (frame.empty()) return;
        send("PA\r", paMs);
        if (frame[0] == '\x14' && frame.size() >= 4) send(frame[3] != '0' ? "PK\r" : "PN\r", paMs + reportMs);
    };
}

SimNet::SimNet(SimPlatform& p) : platform(p) {
    platform.tcpFactory = [this] { return std::make_unique<SimTcpSocket>(*this); };
    platform.serialFactory = [this] { return std::make_unique<SimSerialPort>(*this); };
}

SimNet::~SimNet() {
    platform.tcpFactory = nullptr;
    platform.serialFactory = nullptr;
}

void SimNet::toGateway(const std::string& text, int64_t delayMs) {
    if (live_) live_->deliver(text, delayMs);
}

void SimNet::dropConnection() {
    if (live_) live_->peerClosed();
}

void SimNet::connectionError(int number, const std::string& text) {
    if (live_) live_->error(number, text);
}

bool SimNet::connected() const { return live_ != nullptr; }

void SimNet::unplugSerial(int eventCode) {
    serialDevices.clear();
    if (live_) live_->lineEvent(eventCode, true);
}

void SimNet::serialEvent(int eventCode) {
    if (live_) live_->lineEvent(eventCode, false);
}

} // namespace tarvelo::sim
