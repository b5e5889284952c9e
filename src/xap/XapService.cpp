#include "xap/XapService.h"

#include "common/Text.h"

namespace tarvelo::xap {

XapService::XapService(platform::Platform& platform, app::Logger& log, model::Network& network,
                       app::SettingsCache& ini, Callbacks callbacks, uint16_t remotePort)
    : platform_(platform),
      log_(log),
      network_(network),
      callbacks_(std::move(callbacks)),
      transport_(platform, log, [this] { return configuredUID(); }),
      devices_(log, platform.clock(), network, ini, callbacks_.QueueScriptEvent),
      bscTimer_(platform.createTimer()) {
    bscTimer_->setHandler([this] { BSCTimerTick(); });
    transport_.RegisterNewMessageCallback([this] { onMessage(); });
    transport_.setRemotePort(remotePort);
}

void XapService::LoadDevices() {
    devices_.InitFilterDictionary();
    devices_.InitDeviceDictionary();
}

XapService::~XapService() = default;

std::string XapService::configuredUID() const {
    if (!callbacks_.UID) return kDefaultUID;
    return callbacks_.UID();
}

int XapService::Init(const std::string& computerName, const std::string& interfaceAddress,
                     const std::string& broadcastAddress) {
    transport_.XapSource("zantu.UPB." + computerName);
    transport_.XapUID(configuredUID());
    transport_.BroadcastAddress(broadcastAddress);
    transport_.InterfaceAddress(interfaceAddress);
    return transport_.Init();
}

void XapService::SetReady() {
    transport_.SendHeartbeat(60);
    ready_ = true;
    // Entries written during start-up go out first, in order.
    log_.StartSending();
    log_.WriteLog("Tarvelo", "Using xAP port " + Dec(transport_.port()));
    SendXapMessage("", "time.query", "time.query", MsgData().add("id", "*").str(), "", "");
}

void XapService::SendLogEntry(const app::LogEntry& entry) {
    ++sendingLog_;
    SendXapMessage("", "Homeseer.Event", "Event.Log",
                   MsgData().add("Time", entry.time).add("Type", entry.type).add("Data", entry.data).str(), "", "");
    --sendingLog_;
}

void XapService::SendXapMessage(const std::string& target, const std::string& msgClass, const std::string& section,
                                const std::string& data, const std::string& subaddress, const std::string& uid,
                                const std::string& targetSubAddress) {
    const std::string configured = configuredUID();
    std::string completed = uid;
    if (uid.empty()) completed = configured;
    else if (uid.size() == 2) completed = configured.substr(0, configured.size() >= 2 ? configured.size() - 2 : 0) + uid;

    try {
        if (!ready_) {
            preReady_.push_back({target, completed, msgClass, section, data, subaddress, targetSubAddress});
            return;
        }
        while (!preReady_.empty()) {
            xapQueuedMessage m = std::move(preReady_.front());
            preReady_.pop_front();
            transport_.SendXap(m.MsgTarget, m.MsgClass, m.MsgSection, m.MsgData, m.MsgSubAddress, m.MsgUID,
                               m.MsgTargetSubAddress);
        }
        transport_.SendXap(target, msgClass, section, data, subaddress, completed, targetSubAddress);
    } catch (const std::exception& error) {
        // A failed send of a log entry must not log through xAP again: that
        // would recurse without end. It goes to the text log instead.
        if (sendingLog_ > 0) log_.TextLog("Tarvelo", "SendXap  " + data, 0, error.what());
        else log_.WriteLog("Tarvelo", "SendXap  " + data + ErrorSuffix(error));
    }
}

void XapService::onMessage() {
    // Datagrams that arrive while a handler waits stay queued for the next drain.
    if (draining_) return;
    draining_ = true;
    for (std::string text = transport_.GetMessage(); !text.empty(); text = transport_.GetMessage()) Readmessage(text);
    draining_ = false;
}

XapStatus XapService::status() const {
    XapStatus s;
    s.ready = ready_;
    s.port = transport_.port();
    s.localAddress = transport_.localAddress();
    s.broadcastAddress = transport_.effectiveBroadcast();
    s.datagramsReceived = transport_.datagramsReceived();
    s.datagramsDropped = transport_.dropped();
    s.datagramsNotXap = transport_.notXap();
    s.datagramsQueued = transport_.queued();
    s.bscRepliesQueued = bscQueue_.size();
    s.filters = devices_.filterCount();
    s.devicesOfInterest = devices_.deviceCount();
    return s;
}

void XapService::Unload() {
    bscTimer_->setEnabled(false);
    bscQueue_.clear();
    transport_.Unload();
}

int XapService::moduleKind(const model::UPBLinkState& state) const {
    auto module = state.module();
    if (!module) throw VbError("Object variable or With block variable not set");
    return module->Kind;
}

} // namespace tarvelo::xap
