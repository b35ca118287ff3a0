#include "common/text.h"

#include "common/status.h"

#include <cstdio>
#include <iostream>

namespace pexal {

std::string Utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        char32_t c = text[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Length of the well-formed UTF-8 sequence at the start of `s`, kInvalid when it is not
// one, kIncomplete when `s` ends inside a sequence that could still be well formed.
std::size_t Utf8SequenceLength(std::string_view s) {
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

std::string QuotePath(std::string_view path) {
    std::string quoted;
    bool plain = true;
    for (std::size_t at = 0; at < path.size();) {
        const auto byte = static_cast<unsigned char>(path[at]);
        const std::size_t length = Utf8SequenceLength(path.substr(at));
        const bool control = byte < 0x20 || byte == 0x7F ||
                             (byte == 0xC2 && length == 2 &&
                              static_cast<unsigned char>(path[at + 1]) < 0xA0);  // C1
        if (length == kInvalid || length == kIncomplete || control) {
            plain = false;
            const std::size_t bad = length == 2 ? 2 : 1;
            for (std::size_t k = 0; k < bad; ++k) {
                const auto b = static_cast<unsigned char>(path[at + k]);
                switch (b) {
                    case '\n': quoted += "\\n"; break;
                    case '\t': quoted += "\\t"; break;
                    case '\r': quoted += "\\r"; break;
                    case 0x1B: quoted += "\\E"; break;
                    default: {
                        char hex[8];
                        std::snprintf(hex, sizeof hex, "\\x%02X", b);
                        quoted += hex;
                    }
                }
            }
            at += bad;
            continue;
        }
        if (byte == '\'' || byte == '\\') quoted += '\\';
        quoted.append(path.substr(at, length));
        at += length;
    }
    return plain ? std::string(path) : "$'" + quoted + "'";
}

void Say(std::string_view program, std::string_view line) {
    std::cerr << program << ": " << line << '\n' << std::flush;
    std::cerr.clear();
}

std::string CannotUse(const Status& status) {
    return "cannot use port file " + QuotePath(status.path) + ": " + status.reason;
}

}  // namespace pexal
