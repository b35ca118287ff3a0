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

enum class Move {
    kRead,   // the byte into *byte, under a shared lock
    kWrite,  // *byte into the file, under an exclusive lock
    kTake,   // read; when not 0, write 0 under the same exclusive lock
};

// Opens `path`, locks the one byte at `offset`, moves it and closes the file. A read
// beyond the end yields 0. A take yields the byte only once its 0 has been stored (and
// fails, yielding 0, when it has not). Fills in `why` on failure.
bool Transfer(const std::string& path, std::int64_t offset, Move move, std::uint8_t* byte,
              Failure* why);

// Fills in `why` (when given) and returns false, so that a failure path is one line.
bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason);

}  // namespace io::platform
