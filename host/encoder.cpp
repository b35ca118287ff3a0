#include "host/encoder.h"

#include "common/windows1252.h"

namespace host {
namespace {

enum : std::size_t { kIncomplete = static_cast<std::size_t>(-1), kInvalid = 0 };

// Length of the well-formed UTF-8 sequence at the start of `s`, kInvalid when it is not
// one, kIncomplete when `s` ends inside a sequence that could still be well formed.
std::size_t SequenceLength(std::string_view s) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return kInvalid;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (k >= s.size()) return kIncomplete;
        const unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
        if (byte(k) < lo || byte(k) > hi) return kInvalid;
    }
    return length;
}

// The code point of a well-formed sequence of `length` bytes.
char32_t Decode(std::string_view s, std::size_t length) {
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(s[0]) & kLeadBits[length];
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[k]) & 0x3F);
    return c;
}

}  // namespace

Status Encoder::Fail(const std::string& what, std::size_t at) {
    failed_ = {Outcome::kBadInput, what + " (byte " + std::to_string(at + 1) + ")", ""};
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
        const std::size_t length = SequenceLength(rest);
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
