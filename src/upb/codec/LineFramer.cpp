#include "upb/codec/LineFramer.h"

namespace tarvelo::upb {

void LineFramer::append(std::string_view text) {
    if (size() >= kLimit) {
        dropped_ += text.size();
        return;
    }
    // Consumed text is removed lazily, so that a burst of lines costs one move.
    if (head_ > 0 && head_ >= buffer_.size() / 2) {
        buffer_.erase(0, head_);
        head_ = 0;
    }
    buffer_.append(text);
}

bool LineFramer::nextLine(std::string& line) {
    if (hold_) return false;
    const size_t cr = buffer_.find('\r', head_);
    if (cr == std::string::npos) return false;
    line.assign(buffer_, head_, cr - head_);
    head_ = cr + 1;
    if (head_ == buffer_.size()) clear();
    return true;
}

size_t LineFramer::dropIfStuck() {
    if (size() < kLimit || buffer_.find('\r', head_) != std::string::npos) return 0;
    const size_t n = size();
    dropped_ += n;
    clear();
    return n;
}

void LineFramer::clear() {
    buffer_.clear();
    head_ = 0;
}

} // namespace tarvelo::upb
