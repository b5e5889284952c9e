#pragma once
// The xAP subsystem: what comes in, what goes out, who calls whom.
//
//   datagram -> XapTransport (received queue, 50 ms burst) -> onMessage drain
//     -> Readmessage: XapMessage::FromXap -> devices capture (filters)
//        -> target gate -> class dispatch:
//             xAPBSC.query -> BSCQuery -> paced replies (BSC queue, BSCTimer)
//             xAPBSC.cmd   -> BSCCmd -> ControlUPBLink -> SendUPBCommand
//             xAP-X10.request -> SendUPBCommand
//             ZIZ.Echo, Time.Today, Homeseer.Role
//   NotifyUPBState (a link state changed) -> BSC or X10 event
//                                         -> QueueScriptEvent
//   SendXapMessage: UID completion; held in the pre-ready queue until the
//   transport is up, then XapTransport::SendXap.
//
// The UPB side and the script triggers are reached only through the
// callbacks the gateway hands in at construction.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/Logger.h"
#include "model/Network.h"
#include "model/StateRecords.h"
#include "platform/Platform.h"
#include "xap/Bsc.h"
#include "xap/Devices.h"
#include "xap/XapMessage.h"
#include "xap/XapTransport.h"

namespace tarvelo::xap {

// A read-only picture of the subsystem for the status page and the desktop.
struct XapStatus {
    bool ready = false;
    int port = 0;
    std::string localAddress;
    std::string broadcastAddress;
    uint64_t datagramsReceived = 0;
    uint64_t datagramsDropped = 0;  // the received queue was full
    uint64_t datagramsNotXap = 0;   // neither an xAP message nor a heartbeat
    size_t datagramsQueued = 0;
    size_t bscRepliesQueued = 0;
    size_t filters = 0;
    size_t devicesOfInterest = 0;
};

class XapService {
public:
    // What flows out of the subsystem; each may be empty.
    struct Callbacks {
        std::function<void(const std::shared_ptr<model::UPBStatus>& status, bool isLink, int16_t destination,
                           bool on, int16_t level, int16_t command)>
            SendUPBCommand;
        std::function<int16_t(const std::string& moduleId)> GetUPBState;
        // The X10 address table; null or empty until the state records are read.
        std::function<model::X10Dictionary*()> x10Lookup;
        std::function<void(const std::shared_ptr<DeviceClass>& event)> QueueScriptEvent;
        // The program's UID as the settings hold it now (converted). Asked at
        // every send, so a UID changed on the status page counts at once.
        std::function<std::string()> UID;
    };

    // `remotePort`: where heartbeats and messages go (3639 unless a private
    // network is wanted). `ini` holds the filters and the devices of interest.
    XapService(platform::Platform& platform, app::Logger& log, model::Network& network, app::SettingsCache& ini,
               Callbacks callbacks, uint16_t remotePort = XapTransport::kXapPort);
    ~XapService();
    XapService(const XapService&) = delete;
    XapService& operator=(const XapService&) = delete;

    // Start-up: sets up and binds the transport. The port, or a value of 0 or
    // less when the program must end.
    int Init(const std::string& computerName, const std::string& interfaceAddress,
             const std::string& broadcastAddress);
    // After a successful Init: the first heartbeat, the ready flag, the held
    // log entries, "Using xAP port", and the time query.
    void SetReady();
    bool ready() const { return ready_; }

    // The log's sender: one entry as a "Homeseer.Event" message.
    void SendLogEntry(const app::LogEntry& entry);

    // Devices of interest: the filters and devices from the settings, their
    // links to the model's tagged states, and their save at shut-down.
    void LoadDevices();
    void LinkDevicesToModules() { devices_.LinkDevicesToModules(); }
    void SaveDevices() { devices_.SaveDeviceDictionary(); }

    void SendXapMessage(const std::string& target, const std::string& msgClass, const std::string& section,
                        const std::string& data, const std::string& subaddress, const std::string& uid,
                        const std::string& targetSubAddress = "");

    // Inbound.
    void onMessage();
    void Readmessage(const std::string& text);
    void BSCQuery(const std::string& target);
    void BSCCmd(const std::string& target, const std::string& id, const std::string& state, const std::string& level);
    void ControlUPBLink(const std::shared_ptr<model::UPBLinkState>& state, const std::string& value);

    // Outbound.
    void NotifyUPBState(const std::shared_ptr<model::UPBLinkState>& state);
    platform::Timer& BSCTimer() { return *bscTimer_; }
    size_t bscQueued() const { return bscQueue_.size(); }

    // Shut-down: sockets closed, timers stopped, queues dropped.
    void Unload();

    XapStatus status() const;

    XapTransport& transport() { return transport_; }
    DevicesOfInterest& devices() { return devices_; }
    // The configured UID: used for messages and heartbeats.
    std::string configuredUID() const;
    static constexpr const char* kDefaultUID = "FF.0002:00";
    const std::string& sunrise() const { return sunrise_; }
    const std::string& sunset() const { return sunset_; }
    BscName bscName(const model::UPBLinkState& state) { return BscNameOf(network_, state, &log_); }

private:
    void PacedSend(xapQueuedMessage message);
    void BSCTimerTick();
    void BscCommandSections(const XapMessage& message);
    void X10Request(const XapMessage& message);
    void ActOn(const std::shared_ptr<model::UPBLinkState>& state, const std::string& stateText, const std::string& level);
    int moduleKind(const model::UPBLinkState& state) const;

    platform::Platform& platform_;
    app::Logger& log_;
    model::Network& network_;
    Callbacks callbacks_;
    XapTransport transport_;
    DevicesOfInterest devices_;
    std::unique_ptr<platform::Timer> bscTimer_;
    std::deque<xapQueuedMessage> bscQueue_;
    std::deque<xapQueuedMessage> preReady_;
    std::string sunrise_;
    std::string sunset_;
    bool ready_ = false;
    bool draining_ = false;
    int sendingLog_ = 0;
};

} // namespace tarvelo::xap
