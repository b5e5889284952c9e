#pragma once
// Devices of interest: foreign xAP devices captured through the received-
// message filters, and one device per tagged UPB link state, under one kind
// of name, the tag. Filters and devices persist in Tarvelo.ini:
//   [Received]        source "~" class = tag [";" trigger]
//   [Devices]         tag = LastChange ";" item name ";" item name ...
//   [Device Messages] tag "." item name = last captured value

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/SettingsCache.h"
#include "common/Dictionary.h"
#include "common/Guard.h"
#include "common/VbDate.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "xap/XapMessage.h"

namespace tarvelo::xap {

struct DeviceClass {
    int32_t Sequence = 0;
    std::string Tag;
    std::string Value;
    std::shared_ptr<model::UPBLinkState> Link;  // empty for xAP devices
    VbDate LastChange = 0;
    // Captured values keyed by item name (section "." key), and the names in
    // capture order.
    OrderedDict<std::string, true> MessageList;
    std::vector<std::string> MessageKeyList;
};

using DeviceTable = OrderedDict<std::shared_ptr<DeviceClass>, true>;
using FilterTable = OrderedDict<std::string, true>;

class DevicesOfInterest {
public:
    static constexpr const char* kFile = "Tarvelo.ini";

    using QueueScriptEvent = std::function<void(const std::shared_ptr<DeviceClass>&)>;

    // `queueScriptEvent`: the script trigger queue, for captures whose filter
    // names a trigger (may be empty).
    DevicesOfInterest(LogSink& log, const platform::Clock& clock, model::Network& network, app::SettingsCache& ini,
                      QueueScriptEvent queueScriptEvent)
        : log_(log), clock_(clock), network_(network), ini_(ini), queueScriptEvent_(std::move(queueScriptEvent)) {}

    void InitFilterDictionary();
    void InitDeviceDictionary();
    void SaveDeviceDictionary();
    void LinkDevicesToModules();
    // Captures a received message that matches a filter. Errors reach the caller.
    void Capture(const XapMessage& message);

    FilterTable& filters() { return filters_; }
    size_t filterCount() const { return filters_.size(); }
    size_t deviceCount() const { return devices_.size(); }
    DeviceTable& devices() { return devices_; }

private:
    LogSink& log_;
    const platform::Clock& clock_;
    model::Network& network_;
    app::SettingsCache& ini_;
    QueueScriptEvent queueScriptEvent_;
    FilterTable filters_;
    DeviceTable devices_;
};

} // namespace tarvelo::xap
