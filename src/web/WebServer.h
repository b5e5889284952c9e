#pragma once
// The web server: what comes in, what goes out, who calls whom.
//
//   TCP listener (platform) --connection--> socket slots 1..25 (grown to keep
//        five free, chosen round-robin, all cut at 24 open)
//   data arrival --> PendingRequests (socket index, text) --> ServerTimer 50 ms
//   ProcessRequestQueue: a request whose headers have not ended, or whose body
//        is shorter than its Content-Length, waits on its connection (5 s at
//        most); then Request::ParsePage, routed by path:
//          .jpg .gif .png .wmz  -> binary file, 1000-byte pieces, each after the
//                                  previous send completed (watchdog 5 s)
//          .css                 -> text file
//          /stat...             -> the status page (pages callback)
//          /help...             -> the help page
//          anything else        -> the "not found" page
//   send complete --> the connection closes (after the last piece of a file)
//
// Every file served lies under the HTML folder. A connection that sends more
// than 1 MB without a complete request gets the "not found" page and is
// closed; nothing of it is kept.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsCache.h"
#include "common/Guard.h"
#include "platform/Platform.h"
#include "web/Request.h"

namespace tarvelo::web {

class WebServer {
public:
    static constexpr int kHighestSocket = 25;      // 26 sockets with the listener
    static constexpr int kSaturation = 24;         // open connections that trigger the reset
    static constexpr int kQueueTickMs = 50;
    static constexpr int kGatherLimitMs = 5000;    // a request may take this long to arrive
    static constexpr size_t kMaxRequestBytes = 1 << 20;
    static constexpr size_t kMaxPendingPerConnection = 4096;

    // The answer of a generated page.
    struct Page {
        std::string text;
        bool refused = false;  // answered with "Unauthorized Access" instead
    };

    struct Callbacks {
        std::function<Page(const Request& request)> statusPage;
        // The server listens on this port (0 < port).
        std::function<void(int port)> listening;
    };

    WebServer(platform::Platform& platform, LogSink& log, app::SettingsCache& ini, std::filesystem::path programFolder,
              std::filesystem::path htmlFolder, Callbacks callbacks);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Start (window load): StartServer, the Data/Tarvelo folder.
    void Start();
    void StartServer();
    // Shut-down: every connection closed, nothing more accepted.
    void Unload();

    // The port listened on, 0 when off.
    int port() const;
    const std::string& currentPort() const { return currentPort_; }
    // The settings page replaces it on save; the listener stays as it is.
    void setCurrentPort(std::string text) { currentPort_ = std::move(text); }
    const std::filesystem::path& htmlFolder() const { return htmlFolder_; }

    // The help page text (Tarvelo.htm with its companion folder under /help).
    std::string HelpPage() const;

    struct Counters {
        uint64_t accepted = 0;
        uint64_t requests = 0;
        uint64_t notFound = 0;
        uint64_t rejected = 0;  // over the size limit, or incomplete at the time limit
        uint64_t resets = 0;    // saturation resets
        uint64_t refused = 0;   // no free socket
    };
    const Counters& counters() const { return counters_; }
    int openSocketCount() const { return openSocketCount_; }
    int highestLoadedSocket() const { return static_cast<int>(slots_.size()) - 1; }
    size_t pendingRequests() const { return pending_.size(); }

private:
    // A binary file on its way out.
    struct Stream {
        std::ifstream file;
        std::filesystem::path name;
    };
    struct Slot {
        std::unique_ptr<platform::StreamConnection> connection;
        std::unique_ptr<platform::Timer> watchdog;  // TCPBinarySendTimer
        std::string tag = "0";                      // "1" while a file streams
        bool sendDone = false;
        size_t received = 0;  // bytes of the request in progress
        size_t queued = 0;    // entries in PendingRequests
        bool rejected = false;
        std::string held;     // a request still arriving
        int64_t heldSince = 0;
        std::unique_ptr<Stream> stream;
    };
    struct Entry {
        int index;
        std::string text;
    };

    void ConnectionRequest(std::unique_ptr<platform::StreamConnection> connection);
    void DataArrival(int index, const std::string& text);
    void SendComplete(int index);
    void CloseSocket(int index);
    void WatchdogTick(int index);
    void ProcessRequestQueue();
    void GatherTick();
    void Dispatch(int index, std::string text);
    void Reject(int index, const std::string& why);

    // Answers (the Response senders).
    void SendTextString(const std::string& text, int index);
    void SendTextFile(const std::string& path, int index);
    void SendBinaryFile(const std::string& path, int index);
    void SendErrorResponse(int index);
    void SendPiece(int index);
    bool Connected(int index) const;
    bool InUse(int index) const;
    int State(int index) const;
    void Send(int index, const std::string& bytes);

    void LoadSlot();
    std::string Today() const;
    std::string Modified(const std::filesystem::path& file) const;
    std::optional<size_t> CompleteLength(const std::string& text) const;

    platform::Platform& platform_;
    LogSink& log_;
    app::SettingsCache& ini_;
    std::filesystem::path programFolder_;
    std::filesystem::path htmlFolder_;
    Callbacks callbacks_;
    std::unique_ptr<platform::TcpListener> listener_;
    std::vector<Slot> slots_;  // index 0 stands for the listener
    std::deque<Entry> pending_;
    std::unique_ptr<platform::Timer> serverTimer_;
    std::unique_ptr<platform::Timer> gatherTimer_;
    std::string currentPort_;
    int openSocketCount_ = 0;
    int nextSocketIndex_ = 0;
    bool unloaded_ = false;
    int dispatching_ = 0;
    Counters counters_;
};

} // namespace tarvelo::web
