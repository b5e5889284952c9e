#pragma once
// The xAP transport: two UDP sockets on one port (loopback and the chosen LAN
// address), broadcasts to the xAP port, heartbeats, and the received queue
// that is handed to the owner in bursts.
//
//   datagram -> filter heartbeats -> received queue -> (50 ms quiet) -> onMessage
//   SendXap  -> XapMessage text   -> broadcast address, xAP port
//
// The gateway works behind a hub: it binds a free port from 32768 upward and
// announces it in every heartbeat's "port=" line.
//
// The LAN address is looked for again at every heartbeat tick and after a
// failed send: a gateway started before the network was up, or whose address
// changed, binds the new address and says so once.
//
// Datagrams that are not xAP text, and those beyond the received queue's
// bound, are dropped and counted; each burst of drops is logged once, after it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "common/Guard.h"
#include "platform/Platform.h"

namespace tarvelo::xap {

class XapTransport {
public:
    static constexpr uint16_t kXapPort = 3639;
    static constexpr int kFirstPort = 32768;
    static constexpr int kPortTries = 200;

    // `currentUID`, when given, is asked before every heartbeat: the UID is
    // the settings' to own, and a changed one goes out with the next beat.
    XapTransport(platform::Platform& platform, LogSink& log, std::function<std::string()> currentUID = {});
    ~XapTransport();
    XapTransport(const XapTransport&) = delete;
    XapTransport& operator=(const XapTransport&) = delete;

    // Set-up values. The three address setters rebuild the heartbeat head.
    void XapSource(std::string v) { source_ = std::move(v); buildHead(); }
    void XapTarget(std::string v) { target_ = std::move(v); buildHead(); }
    void XapUID(std::string v) { uid_ = std::move(v); buildHead(); }
    void XapClass(std::string v) { class_ = std::move(v); }
    void BroadcastAddress(std::string v) { broadcastAddress_ = std::move(v); }
    void InterfaceAddress(std::string v) { interfaceAddress_ = std::move(v); }
    void FilterHeartbeats(bool on) { filterHeartbeats_ = on; }
    const std::string& XapSource() const { return source_; }
    const std::string& XapTarget() const { return target_; }
    const std::string& XapUID() const { return uid_; }
    const std::string& XapClass() const { return class_; }
    const std::string& BroadcastAddress() const { return broadcastAddress_; }
    const std::string& InterfaceAddress() const { return interfaceAddress_; }
    bool FilterHeartbeats() const { return filterHeartbeats_; }

    // The port datagrams are broadcast to (3639; another for a private test network).
    void setRemotePort(uint16_t port) { remotePort_ = port; }

    // Binds the sockets. The port, -1 when no loopback port was free, or a
    // negated error number when the LAN socket could not be bound.
    int Init();
    // Binds the LAN socket to the address the interface list gives now, when
    // that differs from the one in use; logs the change once. True when the
    // LAN socket changed.
    bool RefreshLocalAddress();
    void SendHeartbeat(int seconds);
    void SendXap(const std::string& target, const std::string& msgClass, const std::string& section,
                 const std::string& data, const std::string& subaddress, const std::string& uid,
                 const std::string& targetSubAddress = "");
    void SendRawXap(const std::string& text);

    // The oldest received text, removed; "" when none waits.
    std::string GetMessage();
    void RegisterNewMessageCallback(std::function<void()> onMessage) { onMessage_ = std::move(onMessage); }
    // Closes the sockets and stops the timers; queued datagrams are dropped.
    void Unload();

    int port() const { return port_; }
    const std::string& localAddress() const { return localAddress_; }
    const std::string& effectiveBroadcast() const { return broadcast_; }
    size_t queued() const { return received_.size(); }
    uint64_t dropped() const { return dropped_; }
    uint64_t notXap() const { return notXap_; }
    uint64_t datagramsReceived() const { return receivedCount_; }
    platform::Timer& HBeatTimer() { return *hbeatTimer_; }
    platform::Timer& ReceiveTimer() { return *receiveTimer_; }

    // True when each of the four dotted parts of `address` ANDed with the
    // pattern's part gives the pattern's part.
    static bool AddressMatches(const std::string& address, const std::string& pattern);
    // Received datagrams waiting beyond this many are dropped (and counted):
    // a flood must not grow memory without bound.
    static constexpr size_t kMaxQueued = 10000;
    // The longest a received datagram waits while others keep arriving.
    static constexpr int64_t kMaxHoldMs = 500;
    // Drops are logged once this long has passed without another.
    static constexpr int kDropQuietMs = 1000;

private:
    void buildHead();
    std::string pickLocalAddress();
    void chooseBroadcast();
    void noteDrop(int64_t now, uint64_t& total, uint64_t& inBurst);
    void DropTimerTick();
    void received(const std::string& datagram);
    void send(const std::string& text);
    void HBeatTimerTick();
    void ReceiveTimerTick();

    platform::Platform& platform_;
    LogSink& log_;
    std::unique_ptr<platform::UdpSocket> winsock1_;  // loopback
    std::unique_ptr<platform::UdpSocket> winsock2_;  // the LAN address; none without one
    std::unique_ptr<platform::Timer> receiveTimer_;
    std::unique_ptr<platform::Timer> hbeatTimer_;
    std::unique_ptr<platform::Timer> dropTimer_;

    std::string source_;
    std::string target_;
    std::string uid_;
    std::function<std::string()> currentUID_;
    std::string class_;
    std::string broadcastAddress_ = "Default";
    std::string interfaceAddress_ = "Default";
    std::string broadcast_ = "255.255.255.255";
    std::string head_;
    std::string tail_;
    std::string localAddress_;
    std::string unusableAddress_;  // a LAN address whose bind failed, logged once
    int port_ = 0;
    uint16_t remotePort_ = kXapPort;
    std::deque<std::string> received_;
    std::function<void()> onMessage_;
    bool filterHeartbeats_ = true;
    int16_t heartbeatTick_ = 0;
    uint64_t dropped_ = 0;  // the received queue was full
    uint64_t notXap_ = 0;   // neither an xAP message nor a heartbeat
    uint64_t burstFull_ = 0;
    uint64_t burstNotXap_ = 0;
    int64_t lastDropAt_ = 0;
    uint64_t receivedCount_ = 0;
    int64_t firstQueuedAt_ = 0;
};

} // namespace tarvelo::xap
