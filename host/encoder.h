// Text for the printer: UTF-8 in, windows-1252 out (the printer's code page), each newline
// as CR LF so that every line starts at the left margin. Fed in chunks of any size; a
// character split between chunks is carried to the next.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace host {

class Encoder {
public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // False when this system cannot convert to windows-1252 at all.
    bool ok() const;

    // Appends the bytes for `utf8` to `out`. A character with no windows-1252 code becomes
    // "?" and is counted. Returns false at invalid UTF-8 or a zero character, with error()
    // saying which and where; nothing after that point is appended.
    bool Feed(std::string_view utf8, std::string& out);
    // Ends the text, appending to `out` what was held back: a character left incomplete
    // is invalid UTF-8.
    bool Finish(std::string& out);

    std::size_t unmappable() const { return unmappable_; }
    // The input fed so far ends inside a character (or between a CR and its LF).
    bool incomplete() const { return !pending_.empty(); }
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& what, std::size_t at);

    struct Converter;  // the platform's part
    std::unique_ptr<Converter> converter_;
    std::string pending_;       // the start of a character (or a CR LF) the next chunk completes
    std::size_t consumed_ = 0;  // input bytes before pending_
    std::size_t unmappable_ = 0;
    std::string error_;
};

}  // namespace host
