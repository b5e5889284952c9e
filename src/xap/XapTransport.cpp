#include "xap/XapTransport.h"

#include <algorithm>

#include "common/Text.h"
#include "xap/XapMessage.h"

namespace tarvelo::xap {

XapTransport::XapTransport(platform::Platform& platform, LogSink& log, std::function<std::string()> currentUID)
    : platform_(platform),
      log_(log),
      receiveTimer_(platform.createTimer()),
      hbeatTimer_(platform.createTimer()),
      dropTimer_(platform.createTimer()),
      currentUID_(std::move(currentUID)) {
    receiveTimer_->setHandler([this] { ReceiveTimerTick(); });
    hbeatTimer_->setHandler([this] { HBeatTimerTick(); });
    dropTimer_->setHandler([this] { DropTimerTick(); });
    buildHead();
}

XapTransport::~XapTransport() = default;

void XapTransport::buildHead() {
    std::string head = "xap-hbeat|{|v=13|hop=1|uid=" + uid_ + "|class=xap-hbeat.alive|source=" + source_ + "|interval=";
    head_ = Replace(head, "|", "\n");
}

bool XapTransport::AddressMatches(const std::string& address, const std::string& pattern) {
    const std::vector<std::string> a = Split(address, ".");
    const std::vector<std::string> p = Split(pattern, ".");
    if (a.size() != 4 || p.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        if (!IsNumeric(a[i]) || !IsNumeric(p[i])) return false;
        const long av = static_cast<long>(Val(a[i]));
        const long pv = static_cast<long>(Val(p[i]));
        if ((av & pv) != pv) return false;
    }
    return true;
}

std::string XapTransport::pickLocalAddress() {
    // The interface list, not a host-name lookup: that answers 127.0.0.1 on
    // many Linux machines. Loopback addresses are not in the list.
    const std::vector<std::string> addresses = platform_.ipv4Addresses();
    for (const std::string& a : addresses)
        if (AddressMatches(a, interfaceAddress_)) return a;
    return addresses.empty() ? std::string() : addresses.front();
}

void XapTransport::chooseBroadcast() {
    if (LCase(broadcastAddress_) == "default")
        // Without a LAN interface there is no route for the limited broadcast;
        // the loopback network's broadcast still reaches a hub on this machine.
        broadcast_ = localAddress_.empty() ? "127.255.255.255" : "255.255.255.255";
    else
        broadcast_ = broadcastAddress_;
}

int XapTransport::Init() {
    localAddress_.clear();
    Guard(&log_, "xAP Init", [&] { localAddress_ = pickLocalAddress(); });
    if (localAddress_.empty())
        log_.WriteLog("Tarvelo", "No LAN address: xAP runs on the loopback address only");
    chooseBroadcast();

    int result = -1;
    port_ = kFirstPort;
    for (int i = 0; i < kPortTries; ++i, ++port_) {
        // A fresh socket per try: a socket whose bind failed may not bind again.
        auto socket = platform_.createUdpSocket();
        if (socket->bind("127.0.0.1", static_cast<uint16_t>(port_)) == 0) {
            winsock1_ = std::move(socket);
            result = port_;
            break;
        }
    }
    if (result > 0) {
        winsock1_->onDatagram = [this](const std::string& d) { received(d); };
        if (!localAddress_.empty()) {
            auto socket = platform_.createUdpSocket();
            const int error = socket->bind(localAddress_, static_cast<uint16_t>(port_));
            if (error != 0) {
                result = error > 0 ? -error : error;
            } else {
                winsock2_ = std::move(socket);
                winsock2_->onDatagram = [this](const std::string& d) { received(d); };
            }
        }
    }
    tail_ = "0\nport=" + Dec(port_) + "\n}\n";
    return result;
}

bool XapTransport::RefreshLocalAddress() {
    if (!winsock1_) return false;  // not bound, or unloaded
    std::string wanted;
    if (!Guard(&log_, "xAP Interface", [&] { wanted = pickLocalAddress(); })) return false;
    if (wanted == localAddress_) {
        unusableAddress_.clear();
        return false;
    }
    const std::string previous = localAddress_;
    if (!wanted.empty()) {
        auto socket = platform_.createUdpSocket();
        const int error = socket->bind(wanted, static_cast<uint16_t>(port_));
        if (error == 0) {
            if (winsock2_) winsock2_->close();
            winsock2_ = std::move(socket);
            winsock2_->onDatagram = [this](const std::string& d) { received(d); };
            localAddress_ = wanted;
            unusableAddress_.clear();
            chooseBroadcast();
            log_.WriteLog("Tarvelo", "xAP uses LAN address " + wanted + " port " + Dec(port_));
            return true;
        }
        if (wanted != unusableAddress_) {
            unusableAddress_ = wanted;
            log_.WriteLog("Tarvelo", "Unable to bind xAP port " + Dec(port_) + " on LAN address " + wanted + ", error " +
                                         Dec(error));
        }
        // The address in use may still be there; then it stays.
        const std::vector<std::string> now = platform_.ipv4Addresses();
        if (previous.empty() || std::find(now.begin(), now.end(), previous) != now.end()) return false;
    }
    if (previous.empty()) return false;
    if (winsock2_) winsock2_->close();
    winsock2_.reset();
    localAddress_.clear();
    chooseBroadcast();
    log_.WriteLog("Tarvelo", "LAN address " + previous + " gone: xAP runs on the loopback address only");
    return true;
}

void XapTransport::send(const std::string& text) {
    platform::UdpSocket* socket = winsock2_ ? winsock2_.get() : winsock1_.get();
    if (!socket) throw VbError("Operation is not allowed when the object is closed");
    int error = socket->sendTo(broadcast_, remotePort_, text);
    // The LAN address may have gone or changed under the socket.
    if (error != 0 && RefreshLocalAddress()) {
        socket = winsock2_ ? winsock2_.get() : winsock1_.get();
        error = socket->sendTo(broadcast_, remotePort_, text);
    }
    if (error != 0) throw VbError("Send failed, error " + Dec(error));
}

void XapTransport::SendHeartbeat(int seconds) {
    if (seconds > 60) seconds = 60;
    else if (seconds <= 0) seconds = 0;
    else if (seconds < 5) seconds = 5;
    hbeatTimer_->setInterval(seconds * 1000);
    if (seconds > 0) hbeatTimer_->setEnabled(true);
    else hbeatTimer_->setEnabled(false);
    Guard(&log_, "SendHeartbeat", [&] {
        if (currentUID_) {
            std::string uid = currentUID_();
            if (uid != uid_) XapUID(std::move(uid));
        }
        send(head_ + Dec(seconds) + tail_);
    });
}

void XapTransport::HBeatTimerTick() {
    RefreshLocalAddress();
    heartbeatTick_ = static_cast<int16_t>((heartbeatTick_ + 1) % 10);
    if (heartbeatTick_ == 0) SendHeartbeat(hbeatTimer_->interval() / 1000);
}

void XapTransport::received(const std::string& datagram) {
    ++receivedCount_;
    Guard(&log_, "ProcessReceivedMessage", [&] {
        const int64_t now = platform_.clock().localMillis();
        const std::string lead = LCase(std::string_view(datagram).substr(0, 8));
        if (filterHeartbeats_ && lead != "xap-head") {
            if (lead != "xap-hbea") noteDrop(now, notXap_, burstNotXap_);
            return;
        }
        if (received_.size() >= kMaxQueued) {
            noteDrop(now, dropped_, burstFull_);
            return;
        }
        if (received_.empty()) firstQueuedAt_ = now;
        received_.push_back(datagram);
        // Each arrival restarts the 50 ms wait, so a burst is handed over
        // whole; but a steady stream must not hold the queue back for ever.
        if (receiveTimer_->enabled() && now - firstQueuedAt_ >= kMaxHoldMs) return;
        receiveTimer_->setInterval(50);
        receiveTimer_->setEnabled(true);
    });
}

void XapTransport::noteDrop(int64_t now, uint64_t& total, uint64_t& inBurst) {
    ++total;
    ++inBurst;
    lastDropAt_ = now;
    if (!dropTimer_->enabled()) dropTimer_->start(kDropQuietMs);
}

void XapTransport::DropTimerTick() {
    const int64_t now = platform_.clock().localMillis();
    if (now - lastDropAt_ < kDropQuietMs && now >= lastDropAt_) return;  // the burst goes on
    dropTimer_->setEnabled(false);
    std::string what;
    if (burstNotXap_) what = Dec(static_cast<long long>(burstNotXap_)) + " not xAP";
    if (burstFull_) what += (what.empty() ? "" : ", ") + Dec(static_cast<long long>(burstFull_)) + " with the received queue full";
    burstNotXap_ = burstFull_ = 0;
    if (!what.empty()) log_.WriteLog("Tarvelo", "xAP datagrams dropped: " + what);
}

void XapTransport::ReceiveTimerTick() {
    receiveTimer_->setEnabled(false);
    if (onMessage_) onMessage_();
}

std::string XapTransport::GetMessage() {
    if (received_.empty()) return "";
    std::string text = std::move(received_.front());
    received_.pop_front();
    return text;
}

void XapTransport::SendXap(const std::string& target, const std::string& msgClass, const std::string& section,
                           const std::string& data, const std::string& subaddress, const std::string& uid,
                           const std::string& targetSubAddress) {
    XapMessage message;
    message.MsgClass(msgClass);
    message.MsgSource(subaddress.empty() ? source_ : source_ + ":" + subaddress);
    if (target.empty()) message.MsgTarget("");
    else message.MsgTarget(targetSubAddress.empty() ? target : target + ":" + targetSubAddress);
    message.MsgUID(uid.empty() ? uid_ : uid);
    message.AddHeader();
    message.AddSection(section);
    ForEachItem(data, [&](std::string_view key, std::string_view value) { message.AddItem(section, key, value); });
    send(message.ToXap());
}

void XapTransport::SendRawXap(const std::string& text) { send(text); }

void XapTransport::Unload() {
    received_.clear();
    receiveTimer_->setEnabled(false);
    hbeatTimer_->setEnabled(false);
    dropTimer_->setEnabled(false);
    if (winsock1_) winsock1_->close();
    if (winsock2_) winsock2_->close();
    winsock1_.reset();
    winsock2_.reset();
}

} // namespace tarvelo::xap
