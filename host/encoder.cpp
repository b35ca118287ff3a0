#include "host/encoder.h"

#include "common/text.h"
#include "common/windows1252.h"

namespace host {
namespace {

using pexal::kIncomplete;
using pexal::kInvalid;

// The code point of a well-formed sequence of `length` bytes.
char32_t Decode(std::string_view s, std::size_t length) {
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(s[0]) & kLeadBits[length];
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[k]) & 0x3F);
    return c;
}

}  // namespace

Status Encoder::Fail(const std::string& what, std::size_t at) {
    failed_ = {pexal::Kind::kBadInput, "", what + " (byte " + std::to_string(at + 1) + ")"};
    return failed_;
}

Status Encoder::Feed(std::string_view utf8, std::string& out) {
    if (!failed_.ok()) return failed_;
    std::string joined;
    std::string_view text = utf8;
    if (!pending_.empty()) {
        joined = pending_ + std::string(utf8);
        text = joined;
        pending_.clear();
    }
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view rest = text.substr(at);
        const std::size_t length = pexal::Utf8SequenceLength(rest);
        if (length == kIncomplete) {
            pending_ = std::string(rest);
            break;
        }
        if (length == kInvalid) return Fail("the input is not valid UTF-8", consumed_ + at);
        if (rest[0] == '\0') return Fail("the input holds a zero character", consumed_ + at);
        if (rest[0] == '\r' && rest.size() == 1) {  // a CR LF may be cut in two
            pending_ = std::string(rest);
            break;
        }
        if (rest[0] == '\r' && rest[1] == '\n') {
            at += 1;  // a CR LF (a Windows line end) is one newline
            continue;
        }
        if (rest[0] == '\n') {
            out += "\r\n";
        } else if (const auto code = pexal::ToWindows1252(Decode(rest, length))) {
            out += static_cast<char>(*code);
        } else {
            out += '?';
            ++unmappable_;
        }
        at += length;
    }
    consumed_ += at;
    return {};
}

Status Encoder::Finish(std::string& out) {
    if (!failed_.ok()) return failed_;
    if (pending_ == "\r") {  // a CR at the very end is just a CR
        out += '\r';
        pending_.clear();
    }
    if (!pending_.empty()) return Fail("the input is not valid UTF-8", consumed_);
    return {};
}

}  // namespace host
