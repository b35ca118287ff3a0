// The encoder on POSIX systems, through iconv.
#include <iconv.h>

#include <optional>

#include "host/encoder.h"

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

}  // namespace

struct Encoder::Converter {
    Converter() : cd(iconv_open("WINDOWS-1252", "UTF-8")) {}
    ~Converter() {
        if (ok()) iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }

    // The windows-1252 byte of one UTF-8 character, or nothing when it has none.
    std::optional<char> Convert(std::string_view utf8) {
        char out = 0;
        char* in = const_cast<char*>(utf8.data());
        char* outAt = &out;
        std::size_t inLeft = utf8.size(), outLeft = 1;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
            outLeft != 0) {
            return std::nullopt;
        }
        return out;
    }

    iconv_t cd;
};

Encoder::Encoder() : converter_(std::make_unique<Converter>()) {}
Encoder::~Encoder() = default;

bool Encoder::ok() const { return converter_->ok(); }

bool Encoder::Fail(const std::string& what, std::size_t at) {
    error_ = what + " (byte " + std::to_string(at + 1) + ")";
    return false;
}

bool Encoder::Feed(std::string_view utf8, std::string& out) {
    if (!error_.empty()) return false;
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
        if (rest[0] == '\n') {
            out += "\r\n";
        } else if (const auto converted = converter_->Convert(rest.substr(0, length))) {
            out += *converted;
        } else {
            out += '?';
            ++unmappable_;
        }
        at += length;
    }
    consumed_ += at;
    return true;
}

bool Encoder::Finish() {
    if (!error_.empty()) return false;
    if (!pending_.empty()) return Fail("the input is not valid UTF-8", consumed_);
    return true;
}

}  // namespace host
