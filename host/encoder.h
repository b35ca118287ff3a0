// Text for the printer: UTF-8 in, windows-1252 out (the printer's code page), each newline
// as CR LF so that every line starts at the left margin. Fed in chunks of any size; a
// character split between chunks is carried to the next.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/status.h"

namespace host {

using pexal::Status;

class Encoder {
public:
    // Appends the bytes for `utf8` to `out`. A character with no windows-1252 code becomes
    // "?" and is counted. At invalid UTF-8 or a zero character: kBadInput, saying which
    // and at which byte of the whole input; nothing from that point on is appended, and
    // every later call answers the same.
    Status Feed(std::string_view utf8, std::string& out);
    // Ends the text, appending to `out` what was held back: a character left incomplete
    // is invalid UTF-8.
    Status Finish(std::string& out);

    std::size_t unmappable() const { return unmappable_; }
    // The input fed so far ends inside a character (or between a CR and its LF).
    bool incomplete() const { return !pending_.empty(); }

private:
    Status Fail(const std::string& what, std::size_t at);

    std::string pending_;       // the start of a character (or a CR LF) the next chunk completes
    std::size_t consumed_ = 0;  // input bytes before pending_
    std::size_t unmappable_ = 0;
    Status failed_;
};

}  // namespace host
