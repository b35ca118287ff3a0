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

std::uint8_t ByteFrom(std::int32_t port, platform::Move move, Failure* why) {
    if (port < pexal::kFirstPort) {
        FailNoSlot(why, port);
        return 0;
    }
    std::uint8_t byte = 0;
    if (!platform::Transfer(PortFilePath(), SlotOffset(port), move, &byte, why)) return 0;
    return byte;
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
    return ByteFrom(port, platform::Move::kRead, why);
}

bool WRITE_IO_BYTE(std::int32_t port, std::uint8_t value, Failure* why) {
    if (port < pexal::kFirstPort) return FailNoSlot(why, port);
    return platform::Transfer(PortFilePath(), SlotOffset(port), platform::Move::kWrite, &value,
                              why);
}

std::uint8_t TAKE_IO_BYTE(std::int32_t port, Failure* why) {
    return ByteFrom(port, platform::Move::kTake, why);
}

}  // namespace io
