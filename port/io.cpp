#include "port/io.h"

#include "common/facts.h"
#include "port/transfer.h"

namespace io {
namespace {

// 64-bit so that no port number can overflow on the way to its offset.
std::int64_t SlotOffset(std::int32_t port) { return std::int64_t{port} - pexal::kFirstPort; }

bool FailNoSlot(Failure* why, std::int32_t port) {
    return platform::Fail(why, FailureKind::kNoSlot, PortFilePath(),
                          "port " + std::to_string(port) + " has no slot (ports start at " +
                              std::to_string(pexal::kFirstPort) + ")");
}

using platform::Given;
using platform::Next;
using Store = std::optional<std::uint8_t>;

// What each call stores once it has read the slot.
Store Nothing(std::uint8_t, Given) { return std::nullopt; }
Store Value(std::uint8_t, Given given) { return given.value; }
Store ZeroIfHeld(std::uint8_t held, Given) { return held != 0 ? Store(0) : std::nullopt; }
Store ValueIfExpected(std::uint8_t held, Given given) {
    return held == given.expected ? Store(given.value) : std::nullopt;
}

// The byte the port held, or 0 with `why` filled in when the call failed.
std::uint8_t Exchange(std::int32_t port, bool exclusive, Next next, Given given, Failure* why,
                      bool* ok = nullptr) {
    if (ok != nullptr) *ok = false;
    if (port < pexal::kFirstPort) {
        FailNoSlot(why, port);
        return 0;
    }
    std::uint8_t held = 0;
    if (!platform::Transfer(PortFilePath(), SlotOffset(port), exclusive, next, given, &held, why)) {
        return 0;
    }
    if (ok != nullptr) *ok = true;
    return held;
}

}  // namespace

namespace platform {

bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason) {
    if (why != nullptr) {
        why->kind = kind;
        why->path = path;
        why->reason = reason;
    }
    return false;
}

}  // namespace platform

std::string add_backslash(const std::string& path) {
    if (path.empty() || path.back() == platform::kSeparator) return path;
    return path + platform::kSeparator;
}

std::string TempDirectory() { return platform::TempDirectory(); }

std::string PortFilePath() { return add_backslash(TempDirectory()) + pexal::kPortFileName; }

std::uint8_t READ_IO_BYTE(std::int32_t port, Failure* why) {
    return Exchange(port, false, Nothing, {}, why);
}

bool WRITE_IO_BYTE(std::int32_t port, std::uint8_t value, Failure* why) {
    bool ok = false;
    Exchange(port, true, Value, {value}, why, &ok);
    return ok;
}

std::uint8_t TAKE_IO_BYTE(std::int32_t port, Failure* why) {
    return Exchange(port, true, ZeroIfHeld, {}, why);
}

std::uint8_t SWAP_IO_BYTE(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                          Failure* why) {
    return Exchange(port, true, ValueIfExpected, {value, expected}, why);
}

SenderLock::~SenderLock() {
    if (handle_ != -1) platform::ReleaseHeld(handle_);
}

bool SenderLock::TryLock(std::int32_t port, Failure* why) {
    if (handle_ != -1) return true;
    if (port < pexal::kFirstPort) return FailNoSlot(why, port);
    return platform::LockHeld(PortFilePath(), platform::kSenderRegion + SlotOffset(port), &handle_,
                              why);
}

}  // namespace io
