#include "port/io.h"

#include "common/facts.h"
#include "port/locked_byte.h"

namespace io {
namespace {

// The senders' region: port P's sender lock is at kSenderRegion + (P - 100), beyond the
// last port's slot (at 2^31 - 101) by far.
constexpr std::int64_t kSenderRegion = std::int64_t{1} << 40;

// 64-bit so that no port number can overflow on the way to its offset.
std::int64_t SlotOffset(std::int32_t port) { return std::int64_t{port} - pexal::kFirstPort; }

bool HasSlot(std::int32_t port, Failure* why) {
    if (port >= pexal::kFirstPort) return true;
    return Fail(why, FailureKind::kNoSlot, PortFilePath(),
                "port " + std::to_string(port) + " has no slot (ports start at " +
                    std::to_string(pexal::kFirstPort) + ")");
}

// Reads the byte at `offset` of `file`, locked there, into `held` and, when `store(held)`
// says so, stores `value` in its place. Whether `written`, or false with `why` filled in.
template <typename Decide>
bool ExchangeIn(LockedByte& file, std::int64_t offset, std::uint8_t value, Decide store,
                std::uint8_t* held, bool* written, Failure* why) {
    *written = false;
    if (!file.Read(offset, held, why)) return false;
    if (!store(*held)) return true;
    return (*written = file.Write(offset, value, why));
}

// Under one exclusive lock of a file opened for this call alone, which closing confirms:
// what was written reached the file. The byte held, or 0 with `why` filled in.
template <typename Decide>
std::uint8_t Exchange(std::int32_t port, std::uint8_t value, Decide store, Failure* why) {
    if (!HasSlot(port, why)) return 0;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/true, why);
    std::uint8_t held = 0;
    bool written = false;
    if (!slot.ok() || !ExchangeIn(slot, slot.offset(), value, store, &held, &written, why)) {
        return 0;
    }
    return !written || slot.Close(why) ? held : 0;
}

}  // namespace

LockedByte::LockedByte(const std::string& path, std::int64_t offset, bool exclusive, Failure* why)
    : path_(path), offset_(offset) {
    if (!Open(why)) return;
    if (!Lock(offset, exclusive, why)) {
        Release();
        return;
    }
    locked_ = true;
}

LockedByte::~LockedByte() { Release(); }

void LockedByte::Release() {
    if (ok()) Close(nullptr);
}

bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason) {
    if (why != nullptr) {
        why->kind = kind;
        why->path = path;
        why->reason = reason;
    }
    return false;
}

std::string add_backslash(const std::string& path) {
    if (path.empty() || path.back() == platform::kSeparator) return path;
    return path + platform::kSeparator;
}

std::string PortFilePath() {
    return add_backslash(platform::TempDirectory()) + pexal::kPortFileName;
}

std::uint8_t READ_IO_BYTE(std::int32_t port, Failure* why) {
    if (!HasSlot(port, why)) return 0;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/false, why);
    std::uint8_t held = 0;
    if (!slot.ok() || !slot.Read(slot.offset(), &held, why)) return 0;
    return held;
}

bool WRITE_IO_BYTE(std::int32_t port, std::uint8_t value, Failure* why) {
    if (!HasSlot(port, why)) return false;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/true, why);
    return slot.ok() && slot.Write(slot.offset(), value, why) && slot.Close(why);
}

std::uint8_t TAKE_IO_BYTE(std::int32_t port, Failure* why) {
    return Exchange(port, 0, [](std::uint8_t held) { return held != 0; }, why);
}

std::uint8_t SWAP_IO_BYTE(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                          Failure* why) {
    return Exchange(port, value, [expected](std::uint8_t was) { return was == expected; }, why);
}

SenderLock::SenderLock() = default;
SenderLock::~SenderLock() = default;

bool SenderLock::TryLock(std::int32_t port, Failure* why) {
    if (held_) return true;
    if (!HasSlot(port, why)) return false;
    auto lock = std::make_unique<LockedByte>(PortFilePath(), kSenderRegion + SlotOffset(port),
                                             /*exclusive=*/true, why);
    if (!lock->ok()) return false;
    // A read-only file gives only a shared lock, which would let every other sender in
    // as well; Write refuses it with the reason that says what to mend.
    if (lock->readOnly()) return lock->Write(lock->offset(), 0, why);
    held_ = std::move(lock);
    port_ = port;
    return true;
}

std::uint8_t SenderLock::Read(std::int32_t port, Failure* why) {
    if (!Through(port)) return READ_IO_BYTE(port, why);
    const std::int64_t slot = SlotOffset(port);
    if (!held_->Lock(slot, /*exclusive=*/false, why)) return 0;
    std::uint8_t held = 0;
    held_->Read(slot, &held, why);
    held_->Unlock(slot);
    return held;
}

std::uint8_t SenderLock::Swap(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                              Failure* why) {
    if (!Through(port)) return SWAP_IO_BYTE(port, expected, value, why);
    return SwapIn(port, expected, value, why);
}

std::uint8_t SenderLock::SwapHeld(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                                  Failure* why) {
    if (!held_ || port != port_) return SWAP_IO_BYTE(port, expected, value, why);
    return SwapIn(port, expected, value, why);
}

std::uint8_t SenderLock::SwapIn(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                                Failure* why) {
    const std::int64_t slot = SlotOffset(port);
    if (!held_->Lock(slot, /*exclusive=*/true, why)) return 0;
    std::uint8_t held = 0;
    bool written = false;
    const bool done = ExchangeIn(
        *held_, slot, value, [expected](std::uint8_t was) { return was == expected; }, &held,
        &written, why);
    held_->Unlock(slot);
    return done ? held : 0;
}

bool SenderLock::StillNamed() const { return held_ && held_->StillNamed(); }

bool SenderLock::SlotCut(std::int32_t port) const {
    if (!held_ || port != port_) return false;
    const std::int64_t size = held_->Size();
    return size >= 0 && size <= SlotOffset(port);
}

void SenderLock::Release() { held_.reset(); }

// A file the host has removed or replaced since is left alone: the printer looks for
// the port's byte by the name.
bool SenderLock::Through(std::int32_t port) const {
    return held_ && port == port_ && held_->StillNamed();
}

}  // namespace io
