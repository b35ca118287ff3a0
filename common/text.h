// Text as bytes: where UTF-8 sequences end, and paths shown so that a message stays one
// line and shows exactly which bytes are there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pexal {

inline constexpr std::size_t kIncomplete = static_cast<std::size_t>(-1);
inline constexpr std::size_t kInvalid = 0;

// Length of the well-formed UTF-8 sequence at the start of `s` (not empty), kInvalid when
// it is not one, kIncomplete when `s` ends inside a sequence that could still be well
// formed.
std::size_t Utf8SequenceLength(std::string_view s);

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);

// `path` as `ls` shows it on a terminal: as it stands when it is printable text, else
// in $'...' with every other byte escaped ($'/tmp/a\nb', $'/tmp/nu\xff').
std::string QuotePath(std::string_view path);

// The printer's name in what it says.
inline constexpr char kPrinter[] = "pexal-printer";

// Writes "program: line" on standard error. A line that cannot be written (standard error
// a closed pipe, say) is lost, and nothing worse: the next is tried.
void Say(std::string_view program, std::string_view line);

}  // namespace pexal
