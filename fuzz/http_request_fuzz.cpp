// Fuzz target: whatever a browser, a scanner or a broken client sends to the
// web server. The input is one request text; a 0xFF byte splits off a later
// chunk of its body. Nothing may crash; decoding never produces a control
// character that was not in the raw text; a path never leads out of the HTML
// folder.
//
// Build: CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTARVELO_FUZZ=ON
//        cmake --build build-fuzz --target tarvelo_http_request_fuzz
//        build-fuzz/bin/tarvelo_http_request_fuzz -max_total_time=60
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "common/Text.h"
#include "web/Files.h"
#include "web/Request.h"

namespace fs = std::filesystem;
using tarvelo::web::Request;

namespace {

bool HasControl(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32) return true;
    return false;
}

const fs::path& Root() {
    static const fs::path root = [] {
        fs::path dir = fs::temp_directory_path() / ("tarvelo-http-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(dir / "HTML" / "images");
        std::ofstream(dir / "HTML" / "images" / "a.gif") << "gif";
        std::ofstream(dir / "secret.css") << "outside";
        return dir / "HTML";
    }();
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\xFF');
    const std::string first = input.substr(0, cut);

    Request r;
    const std::string post = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    r.ParsePage(first);
    if (cut != std::string::npos) r.AddPostData(post);
    r.setRemoteip("127.0.0.1");
    for (const char* name : {"HTTP_USER_AGENT", "REMOTE_ADDR", "AUTH_USER", "Host", "Content-Length"})
        (void)r.ServerVariables(name);
    (void)r.contentLength();

    // Decoding turns no escape into a control character (raw ones in the
    // input may of course come through).
    if (!HasControl(first) && !HasControl(post)) {
        if (HasControl(r.page()) || HasControl(r.Payload())) __builtin_trap();
        for (const auto& [key, value] : r.FormCol())
            if (HasControl(key) || HasControl(value)) __builtin_trap();
        for (const auto& [key, value] : r.QueryStringCol())
            if (HasControl(key) || HasControl(value)) __builtin_trap();
    }

    // The path as the dispatcher derives it resolves inside the folder, or not at all.
    const std::string path = tarvelo::Replace(tarvelo::LCase(r.page()), "/", "\\");
    if (auto file = tarvelo::web::ResolveUnder(Root(), path)) {
        const std::string resolved = fs::weakly_canonical(*file).string();
        const std::string root = fs::weakly_canonical(Root()).string();
        if (resolved.compare(0, root.size(), root) != 0) __builtin_trap();
    }
    return 0;
}
