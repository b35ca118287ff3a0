// What each platform's port link provides to the portable part in io.cpp. Internal to
// the port link; nothing outside port/ includes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "port/io.h"

namespace io::platform {

extern const char kSeparator;

// The temporary directory as the platform names it now, or "" when there is none.
std::string TempDirectory();

// What a call brings: the value it may store, and the byte it expects to find.
struct Given {
    std::uint8_t value = 0;
    std::uint8_t expected = 0;
};

// What to store once the slot's byte has been read: a value, or nothing.
using Next = std::optional<std::uint8_t> (*)(std::uint8_t held, Given given);

// Opens `path`, locks the one byte at `offset` (exclusive when `exclusive`, else shared),
// reads it into *held (0 beyond the end), and when `next(*held, given)` names a value,
// stores it under the same lock before the file closes. Fills in `why` on failure; a value
// that could not be stored is a failure.
bool Transfer(const std::string& path, std::int64_t offset, bool exclusive, Next next,
              Given given, std::uint8_t* held, Failure* why);

// The senders' region: port P's sender lock is at kSenderRegion + (P - 100), beyond the
// last port's slot (at 2^31 - 101) by far.
inline constexpr std::int64_t kSenderRegion = std::int64_t{1} << 40;

// Opens `path` and takes an exclusive lock on the byte at `offset` without waiting; the
// handle, kept open, holds the lock. Closing it with ReleaseHeld drops the lock.
bool LockHeld(const std::string& path, std::int64_t offset, std::intptr_t* handle, Failure* why);
void ReleaseHeld(std::intptr_t handle);

// Fills in `why` (when given) and returns false, so that a failure path is one line.
bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason);

}  // namespace io::platform
