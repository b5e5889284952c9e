// Sending the answers onto a connection: generated pages, text files, the
// "not found" page, and binary files streamed in pieces.
#include <chrono>
#include <ctime>
#include <system_error>

#include "common/Text.h"
#include "common/VbDate.h"
#include "web/Files.h"
#include "web/Response.h"
#include "web/WebServer.h"

namespace tarvelo::web {

namespace fs = std::filesystem;

std::string WebServer::Today() const { return MediumDate(DateFromLocalMillis(platform_.clock().localMillis())); }

std::string WebServer::Modified(const fs::path& file) const {
    std::error_code ec;
    const auto stamp = fs::last_write_time(file, ec);
    if (ec) return "";
    // A file's time is the file system's, not the program clock's: local time of the machine.
    const auto system = std::chrono::time_point_cast<std::chrono::seconds>(
        stamp - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    const std::time_t t = std::chrono::system_clock::to_time_t(system);
    std::tm local{};
    localtime_r(&t, &local);
    return FormatDateTime(MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                   local.tm_sec));
}

void WebServer::Send(int index, const std::string& bytes) {
    if (Connected(index)) slots_[index].connection->send(bytes);
}

void WebServer::SendTextString(const std::string& text, int index) {
    Guard(&log_, "TCPSever_SendTextString ", [&] {
        if (index < 1 || index >= static_cast<int>(slots_.size())) return;
        slots_[index].tag = "0";
        Send(index, TextPageAnswer(text, Today()));
    });
}

void WebServer::SendErrorResponse(int index) {
    Guard(&log_, "TCPServer_SendError_Response ", [&] {
        if (index < 1 || index >= static_cast<int>(slots_.size())) return;
        slots_[index].tag = "0";
        Send(index, NotFoundAnswer(Today()));
    });
}

void WebServer::SendTextFile(const std::string& path, int index) {
    Guard(&log_, "TCPServer_SendTextFile ", [&] {
        const std::optional<fs::path> file = ResolveUnder(htmlFolder_, path);
        std::optional<std::string> text = file ? ReadWhole(*file) : std::nullopt;
        if (!text) {
            ++counters_.notFound;
            SendErrorResponse(index);
            return;
        }
        if (index < 1 || index >= static_cast<int>(slots_.size())) return;
        slots_[index].tag = "0";
        if (!Connected(index)) {
            log_.WriteLog("Tarvelo", "TCPServer Unable to send TextFile " + file->string() + " to socket " + Dec(index) +
                                         " because State is " + Dec(State(index)));
            return;
        }
        Send(index, TextFileAnswer(*text, Today(), Modified(*file)));
    });
}

void WebServer::SendBinaryFile(const std::string& path, int index) {
    const fs::path fullName = htmlFolder_ / path;
    Guard(&log_, "TCPServer_SendBinaryFile " + fullName.string(), [&] {
        if (index < 1 || index >= static_cast<int>(slots_.size())) return;
        const std::optional<fs::path> file = ResolveUnder(htmlFolder_, path);
        auto stream = std::make_unique<Stream>();
        if (file) stream->file.open(*file, std::ios::binary);
        std::error_code ec;
        const auto length = file ? fs::file_size(*file, ec) : 0;
        if (!file || !stream->file || ec) {
            ++counters_.notFound;
            slots_[index].tag = "0";
            Send(index, MissingBinaryAnswer(Today()));
            return;
        }
        stream->name = *file;
        Slot& slot = slots_[index];
        slot.tag = "1";
        slot.stream = std::move(stream);
        slot.sendDone = false;
        // Each piece goes when the previous send completed (or its watchdog ran out).
        slot.watchdog->start(kPieceWatchdogMs);
        Send(index, BinaryHeader(static_cast<size_t>(length), ContentTypeFor(path).type, Today(), Modified(*file)));
    });
}

void WebServer::SendPiece(int index) {
    Guard(&log_, "TCPServer_SendBinaryFile ", [&] {
        Slot& slot = slots_.at(static_cast<size_t>(index));
        if (!slot.stream) return;
        char piece[kPieceBytes];
        std::streamsize got = 0;
        if (Connected(index)) {
            slot.stream->file.read(piece, sizeof piece);
            got = slot.stream->file.gcount();
        }
        if (got <= 0) {
            // The end of the file, or a client that went away: finish, and close.
            slot.stream.reset();
            slot.tag = "0";
            SendComplete(index);
            return;
        }
        slot.sendDone = false;
        slot.watchdog->start(kPieceWatchdogMs);
        Send(index, std::string(piece, static_cast<size_t>(got)));
    });
}

} // namespace tarvelo::web
