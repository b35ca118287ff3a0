// What each platform's port link provides to the portable part in io.cpp. Internal to
// the port link; nothing outside port/ includes it.
#pragma once

#include <cstdint>
#include <string>

#include "port/io.h"

namespace io::platform {

extern const char kSeparator;

// The temporary directory as the platform names it now, or "" when there is none.
std::string TempDirectory();

// Opens `path`, locks the one byte at `offset` (shared to read, exclusive to write), moves
// that byte and closes the file. A read beyond the end yields 0. Fills in `why` on failure.
bool Transfer(const std::string& path, std::int64_t offset, bool write, std::uint8_t* byte,
              Failure* why);

// Fills in `why` (when given) and returns false, so that a failure path is one line.
bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason);

}  // namespace io::platform
