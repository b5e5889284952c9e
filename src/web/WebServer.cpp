// The listener, the socket slots and the request queue.
#include "web/WebServer.h"

#include "app/Paths.h"
#include "common/Text.h"
#include "common/VbDate.h"
#include "web/Files.h"
#include "web/Response.h"

namespace tarvelo::web {

namespace fs = std::filesystem;

WebServer::WebServer(platform::Platform& platform, LogSink& log, app::SettingsCache& ini, fs::path programFolder,
                     fs::path htmlFolder, Callbacks callbacks)
    : platform_(platform),
      log_(log),
      ini_(ini),
      programFolder_(std::move(programFolder)),
      htmlFolder_(std::move(htmlFolder)),
      callbacks_(std::move(callbacks)) {
    serverTimer_ = platform_.createTimer();
    serverTimer_->setHandler([this] { ProcessRequestQueue(); });
    gatherTimer_ = platform_.createTimer();
    gatherTimer_->setHandler([this] { GatherTick(); });
}

WebServer::~WebServer() { Unload(); }

void WebServer::Start() {
    Guard(&log_, "Server Form_Load ", [&] {
        StartServer();
        app::MakePath(programFolder_ / "Data" / "Tarvelo" / "x");
    });
}

void WebServer::StartServer() {
    currentPort_ = RemoveQuotes(ini_.GetIniSetting("UPB", "HTTPPort", "8016", "Tarvelo.ini"));
    if (currentPort_.empty()) {
        log_.WriteLog("Tarvelo", "Web server off: the HTTPPort setting is empty");
    } else {
        const double wanted = Val(currentPort_);
        if (wanted < 0 || wanted > 65535) {
            log_.WriteLog("Tarvelo", "Web server off: HTTPPort " + currentPort_ + " is no port number");
        } else if (!listener_ || listener_->port() != static_cast<int>(wanted)) {
            // Port 0 asks for any free port; the one chosen is logged.
            auto listener = platform_.createTcpListener();
            listener->onConnection = [this](std::unique_ptr<platform::StreamConnection> connection) {
                Guard(&log_, "socket_ConnectionRequest ", [&] { ConnectionRequest(std::move(connection)); });
            };
            if (const int error = listener->listen("0.0.0.0", static_cast<uint16_t>(wanted))) {
                const char* why = error == 10048   ? "the address is in use"
                                  : error == 10013 ? "access denied"
                                  : error == 10049 ? "the address is not available"
                                                   : "socket error";
                log_.WriteLog("Tarvelo", "Web server cannot listen on port " + currentPort_ + ": " + why + " (" +
                                             Dec(error) + ")");
            } else {
                listener_ = std::move(listener);
                slots_.clear();
                slots_.emplace_back();  // the listener's own index 0
                for (int i = 1; i <= 5; ++i) LoadSlot();
                openSocketCount_ = 0;
                nextSocketIndex_ = 0;
                log_.WriteLog("Tarvelo", "Web server listening on port " + Dec(listener_->port()));
                if (callbacks_.listening) callbacks_.listening(listener_->port());
            }
        }
    }
    serverTimer_->setEnabled(false);
    serverTimer_->setInterval(0);
}

int WebServer::port() const { return listener_ ? listener_->port() : 0; }

void WebServer::LoadSlot() {
    const int index = static_cast<int>(slots_.size());
    Slot slot;
    slot.watchdog = platform_.createTimer();
    slot.watchdog->setHandler([this, index] { Guard(&log_, "TCPBinarySendTimer_Timer", [&] { WatchdogTick(index); }); });
    slots_.push_back(std::move(slot));
}

// The classic socket states: 7 connected, 8 closing (the peer has gone), 0 closed.
int WebServer::State(int index) const {
    if (index < 1 || index >= static_cast<int>(slots_.size()) || !slots_[index].connection) return 0;
    return slots_[index].connection->isOpen() ? 7 : 8;
}

// An accepted connection not yet closed on our side, whatever the peer did.
bool WebServer::InUse(int index) const {
    return index >= 1 && index < static_cast<int>(slots_.size()) && slots_[index].connection != nullptr;
}

bool WebServer::Connected(int index) const { return State(index) == 7; }

void WebServer::ConnectionRequest(std::unique_ptr<platform::StreamConnection> connection) {
    if (unloaded_ || !connection) return;
    // Saturated: every connection is cut; clients see a reset and retry.
    if (openSocketCount_ >= kSaturation) {
        for (int i = 1; i < static_cast<int>(slots_.size()); ++i) {
            Slot& s = slots_[i];
            s.connection.reset();  // cut: the client sees a reset
            s.stream.reset();
            s.watchdog->setEnabled(false);
            s.tag = "0";
            s.held.clear();
            s.received = 0;
            s.rejected = false;
        }
        pending_.clear();
        while (slots_.size() - 1 >= 6) slots_.pop_back();
        openSocketCount_ = 0;
        ++counters_.resets;
    }
    // Keep five free connection sockets, up to the ceiling.
    while (openSocketCount_ >= highestLoadedSocket() - 4 && highestLoadedSocket() < kHighestSocket) LoadSlot();

    const int highest = highestLoadedSocket();
    auto advance = [&] {
        nextSocketIndex_ = (nextSocketIndex_ + 1) % (highest + 1);
        if (nextSocketIndex_ == 0) nextSocketIndex_ = 1;
    };
    advance();
    int tried = 1;
    while (InUse(nextSocketIndex_) && tried <= highest) {
        advance();
        ++tried;
    }
    if (InUse(nextSocketIndex_)) {
        // The open count and the sockets disagree: no free socket.
        ++counters_.refused;
        return;
    }
    const int index = nextSocketIndex_;
    Slot& slot = slots_[index];
    std::unique_ptr<platform::Timer> watchdog = std::move(slot.watchdog);
    slot = Slot{};
    slot.connection = std::move(connection);
    slot.watchdog = std::move(watchdog);
    slot.connection->onData = [this, index](const std::string& bytes) {
        Guard(&log_, "socket_DataArrival ", [&] { DataArrival(index, bytes); });
    };
    slot.connection->onSendComplete = [this, index] { Guard(&log_, "Socket_SendComplete", [&] { SendComplete(index); }); };
    slot.connection->onClosed = [this, index] { Guard(&log_, "socket_Close ", [&] { CloseSocket(index); }); };
    ++openSocketCount_;
    ++counters_.accepted;
}

void WebServer::DataArrival(int index, const std::string& text) {
    if (index < 1 || index >= static_cast<int>(slots_.size())) return;
    Slot& slot = slots_[index];
    if (slot.rejected || text.empty()) return;
    slot.received += text.size();
    if (slot.received > kMaxRequestBytes || slot.queued >= kMaxPendingPerConnection) {
        Reject(index, "over " + Dec(static_cast<long long>(kMaxRequestBytes)) + " bytes");
        return;
    }
    pending_.push_back({index, text});
    ++slot.queued;
    if (!serverTimer_->enabled()) serverTimer_->start(kQueueTickMs);
}

void WebServer::Reject(int index, const std::string& why) {
    Slot& slot = slots_[index];
    std::erase_if(pending_, [&](const Entry& e) { return e.index == index; });
    slot.queued = 0;
    slot.held.clear();
    slot.held.shrink_to_fit();
    slot.rejected = true;
    ++counters_.rejected;
    const std::string address = slot.connection ? slot.connection->remoteAddress() : std::string();
    log_.WriteLog("Tarvelo", "Web request from " + address + " refused: " + why);
    SendErrorResponse(index);
}

void WebServer::SendComplete(int index) {
    if (index < 1 || index >= static_cast<int>(slots_.size())) return;
    Slot& slot = slots_[index];
    slot.watchdog->setEnabled(false);
    slot.sendDone = true;
    if (slot.tag != "1") CloseSocket(index);
    else if (slot.stream) SendPiece(index);
}

void WebServer::WatchdogTick(int index) {
    Slot& slot = slots_.at(static_cast<size_t>(index));
    slot.watchdog->setEnabled(false);
    slot.sendDone = true;
    // The completion never came: the stream goes on regardless.
    if (slot.stream) SendPiece(index);
}

void WebServer::CloseSocket(int index) {
    if (index < 1 || index >= static_cast<int>(slots_.size())) return;
    Slot& slot = slots_[index];
    if (InUse(index)) {
        --openSocketCount_;
        slot.connection->close();
    }
    slot.connection.reset();
    slot.stream.reset();
    slot.watchdog->setEnabled(false);
    slot.tag = "0";
    slot.held.clear();
    slot.received = 0;
    slot.rejected = false;
    // Whatever it still had queued is of no use any more.
    std::erase_if(pending_, [&](const Entry& e) { return e.index == index; });
    slot.queued = 0;
}

// How much of the text makes a complete request: its headers ended and,
// when it announces a body length, that many bytes followed. nullopt while
// more has to come.
std::optional<size_t> WebServer::CompleteLength(const std::string& text) const {
    const size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return std::nullopt;
    Request probe;
    probe.ParsePage(text.substr(0, end + 4));
    const std::optional<size_t> length = probe.contentLength();
    if (!length) return text.size();
    if (text.size() - (end + 4) < *length) return std::nullopt;
    return end + 4 + *length;
}

void WebServer::ProcessRequestQueue() {
    serverTimer_->setInterval(0);
    Guard(&log_, "ProcessRequestQueue ", [&] {
        while (!pending_.empty()) {
            Entry entry = std::move(pending_.front());
            pending_.pop_front();
            if (entry.index < 1 || entry.index >= static_cast<int>(slots_.size())) continue;
            Slot& slot = slots_[entry.index];
            if (slot.queued > 0) --slot.queued;
            const bool wasHeld = !slot.held.empty();
            std::string text = wasHeld ? slot.held + entry.text : std::move(entry.text);
            slot.held.clear();
            const std::optional<size_t> complete = CompleteLength(text);
            if (!complete) {
                // Wait for the rest on this connection; other connections go on.
                if (!wasHeld) slot.heldSince = platform_.clock().localMillis();
                slot.held = std::move(text);
                if (!gatherTimer_->enabled()) gatherTimer_->start(250);
                continue;
            }
            slot.heldSince = 0;
            text.resize(*complete);
            Dispatch(entry.index, std::move(text));
        }
    });
    serverTimer_->setEnabled(false);
}

void WebServer::GatherTick() {
    // Not inside a request being answered: its page may be waiting for the PIM.
    if (dispatching_ > 0) return;
    bool waiting = false;
    const int64_t now = platform_.clock().localMillis();
    for (int i = 1; i < static_cast<int>(slots_.size()); ++i) {
        Slot& slot = slots_[i];
        if (slot.held.empty()) continue;
        if (now - slot.heldSince < kGatherLimitMs) {
            waiting = true;
            continue;
        }
        std::string text = std::move(slot.held);
        slot.held.clear();
        slot.heldSince = 0;
        if (text.find("\r\n\r\n") == std::string::npos) {
            // Headers that never ended: answered as they stand.
            Guard(&log_, "ProcessRequestQueue ", [&] { Dispatch(i, std::move(text)); });
        } else {
            // A body shorter than announced: applying part of a save would lose the rest.
            Reject(i, "the body did not arrive within " + Dec(kGatherLimitMs / 1000) + " s");
        }
    }
    if (!waiting) gatherTimer_->setEnabled(false);
}

void WebServer::Dispatch(int index, std::string text) {
    ++counters_.requests;
    ++dispatching_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{dispatching_};
    Slot& slot = slots_[index];
    slot.received = 0;
    Request request;
    request.setRemoteip(slot.connection ? slot.connection->remoteAddress() : std::string());
    request.ParsePage(text);
    text.clear();
    text.shrink_to_fit();
    if (request.Method() == "POST") {
        // A body that came in chunks of its own, without a length announced.
        while (!pending_.empty() && pending_.front().index == index) {
            request.AddPostData(pending_.front().text);
            pending_.pop_front();
            if (slot.queued > 0) --slot.queued;
        }
    }

    std::string path = Replace(LCase(request.page()), "/", "\\");
    const std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    if (ext == ".jpg" || ext == ".gif" || ext == ".png" || ext == ".wmz") {
        SendBinaryFile(path, index);
    } else if (ext == ".css") {
        SendTextFile(path, index);
    } else if (path.rfind("\\stat", 0) == 0) {
        Page page;
        if (callbacks_.statusPage) page = callbacks_.statusPage(request);
        SendTextString(page.refused ? std::string(kUnauthorizedPage) : page.text, index);
    } else if (path.rfind("\\help", 0) == 0) {
        SendTextString(HelpPage(), index);
    } else {
        // Browsers ask for /favicon.ico on their own: an unanswered request
        // would hold its connection open until the saturation reset.
        ++counters_.notFound;
        SendErrorResponse(index);
    }
}

std::string WebServer::HelpPage() const {
    const fs::path expected = htmlFolder_ / "Help" / "Tarvelo" / "Tarvelo.htm";
    const std::optional<fs::path> file = ResolveUnder(htmlFolder_, "Help/Tarvelo/Tarvelo.htm");
    std::optional<std::string> text = file ? ReadWhole(*file) : std::nullopt;
    if (!text) return "Sorry, Help from " + expected.string() + " is not available";
    // Its companion folder's links resolve under the help path.
    static const std::string needle = "tarvelo_files";
    std::string out;
    const std::string lower = LCase(*text);
    size_t at = 0;
    for (size_t hit = lower.find(needle); hit != std::string::npos; hit = lower.find(needle, at)) {
        out.append(*text, at, hit - at).append("help/Tarvelo/Tarvelo_files");
        at = hit + needle.size();
    }
    out.append(*text, at, std::string::npos);
    return out;
}

void WebServer::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    for (Slot& slot : slots_) {
        if (slot.connection) slot.connection->close();
        slot.connection.reset();
        slot.stream.reset();
        if (slot.watchdog) slot.watchdog->setEnabled(false);
    }
    slots_.clear();
    pending_.clear();
    if (listener_) listener_->close();
    listener_.reset();
    serverTimer_->setEnabled(false);
    gatherTimer_->setEnabled(false);
    openSocketCount_ = 0;
}

} // namespace tarvelo::web
