#include "port/io.h"

#include <cstdio>

#include "common/facts.h"
#include "common/text.h"
#include "port/platform.h"

namespace io {

using pexal::Kind;
using platform::Fault;

// The port file, opened (created when missing) with a non-blocking advisory lock on the
// byte at one offset: exclusive to store, shared to look. A file this process may only
// read is opened read-only under a shared lock, so a call that ends up storing nothing
// still works. Destruction unlocks and then closes, the order Wine needs: it keeps a
// file's descriptor alive for as long as any lock on that file stands.
class LockedByte {
public:
    // Check ok(); `why`, when given, says what failed (busy for another's lock).
    LockedByte(const std::string& path, std::int64_t offset, bool exclusive, Status* why);
    ~LockedByte() { Close(nullptr); }
    LockedByte(const LockedByte&) = delete;
    LockedByte& operator=(const LockedByte&) = delete;

    bool ok() const { return file_ != platform::kNoFile; }
    // Opened read-only: Write fails, and the lock is shared whatever was asked.
    bool readOnly() const { return readOnly_; }
    std::int64_t offset() const { return offset_; }

    // Another byte of the same open file, locked the same way (busy for another's lock)
    // while the first stays locked, so that one open serves many transfers. Unlock
    // before letting go of the file.
    bool Lock(std::int64_t offset, bool exclusive, Status* why);
    void Unlock(std::int64_t offset) { platform::Unlock(file_, offset); }

    // The byte at `offset`, 0 beyond the end of the file.
    bool Read(std::int64_t offset, std::uint8_t* value, Status* why);
    // Stores the byte at `offset`, extending the file with zeros when needed.
    bool Write(std::int64_t offset, std::uint8_t value, Status* why);
    // Unlocks and closes now, saying whether what was written reached the file.
    bool Close(Status* why);

    // Whether the path still names the file held open: the host may have removed or
    // replaced it since, and then what is written here reaches nobody.
    bool StillNamed() const { return platform::Names(path_, file_); }
    // The held file's length now (the host may have cut it short); -1 when unknown.
    std::int64_t Size() const { return platform::Size(file_); }

private:
    bool Open(Status* why);

    std::string path_;
    std::int64_t offset_;
    platform::File file_ = platform::kNoFile;
    bool locked_ = false;
    bool readOnly_ = false;
    Status whyReadOnly_;  // the read-write open's failure, which names what to mend
};

namespace {

// The senders' region: port P's sender lock is at kSenderRegion + (P - 100), beyond the
// last port's slot (at 2^31 - 101) by far.
constexpr std::int64_t kSenderRegion = std::int64_t{1} << 40;

// 64-bit so that no port number can overflow on the way to its offset.
std::int64_t SlotOffset(std::int32_t port) { return std::int64_t{port} - pexal::kFirstPort; }

// Fills in `why` (when given) and returns false, so that a failure path is one line.
bool Fail(Status* why, Kind kind, const std::string& path, const std::string& reason) {
    if (why != nullptr) *why = {kind, path, reason};
    return false;
}

// " (owned by USER, mode 0600)", " (owned by DOMAIN\name, read-only)": as much as the
// system tells, for a reason a user can act on.
std::string Ownership(const std::string& path) {
    const platform::Owner owner = platform::OwnerOf(path);
    std::string details;
    if (!owner.name.empty() || owner.id >= 0) {
        details = "owned by " + (owner.name.empty() ? "user " + std::to_string(owner.id) : owner.name);
    }
    if (owner.mode >= 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(owner.mode));
        details += (details.empty() ? "mode " : ", mode ") + std::string(mode);
    }
    if (owner.readOnly) details += details.empty() ? "read-only" : ", read-only";
    return details.empty() ? "" : " (" + details + ")";
}

// What stopped a call on `path`, in words that say what to mend. Sharing and lock
// conflicts pass by themselves: they are busy, not broken; a missing directory may yet
// be made.
bool Fail(Status* why, const platform::Error& error, const std::string& path) {
    const std::string dir = DirectoryOf(path);
    switch (error.fault) {
        case Fault::kLocked:
            return Fail(why, Kind::kBusy, path, "another program holds a lock on it");
        case Fault::kUnshared:
            return Fail(why, Kind::kBusy, path, "another program has it open and shares it with nobody");
        case Fault::kNoDirectory:
            if (platform::Look(dir) != platform::Entry::kOther) {
                return Fail(why, Kind::kMissing, path,
                            "its directory " + pexal::QuotePath(dir) + " does not exist");
            }
            [[fallthrough]];
        case Fault::kNotDirectory:
            return Fail(why, Kind::kUnusable, path, pexal::QuotePath(dir) + " is not a directory");
        case Fault::kLink:
            return Fail(why, Kind::kUnusable, path, "a symbolic link stands there; it is not followed");
        case Fault::kNotRegular:
            return Fail(why, Kind::kUnusable, path, "it is not a regular file");
        case Fault::kReadOnlyFs:
            return Fail(why, Kind::kUnusable, path, "it is on a read-only file system");
        case Fault::kDenied:
            switch (platform::Look(path)) {
                case platform::Entry::kDirectory:
                    return Fail(why, Kind::kUnusable, path, "it is not a regular file");
                case platform::Entry::kOther:
                    return Fail(why, Kind::kUnusable, path, "permission denied" + Ownership(path));
                case platform::Entry::kNothing:
                    return Fail(why, Kind::kUnusable, path,
                                "it cannot be created: permission denied on " +
                                    pexal::QuotePath(dir) + Ownership(dir));
            }
            break;
        case Fault::kNone:
        case Fault::kOther:
            break;
    }
    const std::string text = platform::SystemText(error.code);
    return Fail(why, Kind::kUnusable, path,
                text.empty() ? "error " + std::to_string(error.code) : text);
}

bool HasSlot(std::int32_t port, Status* why) {
    if (port >= pexal::kFirstPort) return true;
    return Fail(why, Kind::kNoSlot, PortFilePath(),
                "port " + std::to_string(port) + " has no slot (ports start at " +
                    std::to_string(pexal::kFirstPort) + ")");
}

// Reads the byte at `offset` of `file`, locked there, into `held` and, when `store(held)`
// says so, stores `value` in its place. Whether `written`, or false with `why` filled in.
template <typename Decide>
bool ExchangeIn(LockedByte& file, std::int64_t offset, std::uint8_t value, Decide store,
                std::uint8_t* held, bool* written, Status* why) {
    *written = false;
    if (!file.Read(offset, held, why)) return false;
    if (!store(*held)) return true;
    return (*written = file.Write(offset, value, why));
}

// Under one exclusive lock of a file opened for this call alone, which closing confirms:
// what was written reached the file. `held` gets the byte held, or 0 on failure. With
// `writable`, a file that can only be read fails even when nothing is to be stored.
template <typename Decide>
Status Exchange(std::int32_t port, std::uint8_t value, Decide store, std::uint8_t* held, bool writable) {
    Status why;
    *held = 0;
    if (!HasSlot(port, &why)) return why;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/true, &why);
    bool written = false;
    if (!slot.ok() || !ExchangeIn(slot, slot.offset(), value, store, held, &written, &why) ||
        (written && !slot.Close(&why)) || (writable && slot.readOnly() && !slot.Write(slot.offset(), 0, &why))) {
        *held = 0;
    }
    return why;
}

}  // namespace

LockedByte::LockedByte(const std::string& path, std::int64_t offset, bool exclusive, Status* why)
    : path_(path), offset_(offset) {
    if (!Open(why)) return;
    if (!Lock(offset, exclusive, why)) {
        Close(nullptr);
        return;
    }
    locked_ = true;
}

bool LockedByte::Open(Status* why) {
    platform::Error error;
    file_ = platform::Open(path_, /*readOnly=*/false, &error);
    if (file_ == platform::kNoFile &&
        (error.fault == Fault::kDenied || error.fault == Fault::kReadOnlyFs)) {
        file_ = platform::Open(path_, /*readOnly=*/true, nullptr);
        readOnly_ = ok();
        Fail(&whyReadOnly_, error, path_);
    }
    return ok() || Fail(why, error, path_);
}

// A file opened read-only takes only a shared lock.
bool LockedByte::Lock(std::int64_t offset, bool exclusive, Status* why) {
    platform::Error error;
    return platform::Lock(file_, offset, exclusive && !readOnly_, &error) || Fail(why, error, path_);
}

bool LockedByte::Read(std::int64_t offset, std::uint8_t* value, Status* why) {
    platform::Error error;
    *value = 0;  // and so it stays beyond the end: the port is empty
    return platform::ReadAt(file_, offset, value, &error) >= 0 || Fail(why, error, path_);
}

bool LockedByte::Write(std::int64_t offset, std::uint8_t value, Status* why) {
    if (readOnly_) {
        if (why != nullptr) *why = whyReadOnly_;
        return false;
    }
    platform::Error error;
    const int moved = platform::WriteAt(file_, offset, value, &error);
    if (moved < 0) return Fail(why, error, path_);
    return moved == 1 || Fail(why, Kind::kUnusable, path_, "short write");
}

bool LockedByte::Close(Status* why) {
    if (!ok()) return true;
    if (locked_) Unlock(offset_);
    locked_ = false;
    platform::Error error;
    const bool closed = platform::Close(file_, &error);
    file_ = platform::kNoFile;
    return closed || Fail(why, error, path_);
}

std::string add_backslash(const std::string& path) {
    if (path.empty() || path.back() == platform::kSeparator) return path;
    return path + platform::kSeparator;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of(platform::kSeparator == '/' ? "/" : "\\/");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string PortFilePath() {
    return add_backslash(platform::TempDirectory()) + pexal::kPortFileName;
}

std::uint8_t READ_IO_BYTE(std::int32_t port) {
    std::uint8_t byte = 0;
    READ_IO_BYTE(port, &byte);
    return byte;
}

Status READ_IO_BYTE(std::int32_t port, std::uint8_t* byte) {
    Status why;
    *byte = 0;
    if (!HasSlot(port, &why)) return why;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/false, &why);
    if (slot.ok() && !slot.Read(slot.offset(), byte, &why)) *byte = 0;
    return why;
}

Status WRITE_IO_BYTE(std::int32_t port, std::uint8_t value) {
    Status why;
    if (!HasSlot(port, &why)) return why;
    LockedByte slot(PortFilePath(), SlotOffset(port), /*exclusive=*/true, &why);
    if (slot.ok() && slot.Write(slot.offset(), value, &why)) slot.Close(&why);
    return why;
}

Status TAKE_IO_BYTE(std::int32_t port, std::uint8_t* byte) {
    return Exchange(port, 0, [](std::uint8_t held) { return held != 0; }, byte, /*writable=*/true);
}

Status SWAP_IO_BYTE(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                    std::uint8_t* held) {
    return Exchange(port, value, [expected](std::uint8_t was) { return was == expected; }, held, /*writable=*/false);
}

SenderLock::SenderLock() = default;
SenderLock::~SenderLock() { Release(); }

// The gate is named by the directory's path, whatever spelling TMPDIR gives it and even
// when the directory is made anew; a directory not there yet is waited for like a file
// not made yet.
Status SenderLock::TryLock(std::int32_t port) {
    Status why;
    if (held_ || !HasSlot(port, &why)) return why;
    const std::string path = PortFilePath();
    const std::string directory = platform::Canonical(DirectoryOf(path));
    if (directory.empty()) {
        LockedByte probe(path, SlotOffset(port), /*exclusive=*/false, &why);  // says why
        if (probe.ok()) why = {Kind::kBusy, path, "its directory is being replaced"};
        return why;
    }
    // A path may be long and hold any byte: the name is its hash (FNV-1a), as every
    // platform's names allow.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : directory) hash = (hash ^ c) * 1099511628211ull;
    platform::Error error;
    const platform::File gate =
        platform::Gate("pexal-send-" + std::to_string(hash) + "-" + std::to_string(port), &error);
    if (gate == platform::kNoFile) {
        if (error.fault == Fault::kLocked) return {Kind::kBusy, path, "another sender holds its lock"};
        Fail(&why, error, path);
        return why;
    }
    auto file = std::make_unique<LockedByte>(path, kSenderRegion + SlotOffset(port),
                                             /*exclusive=*/true, &why);
    // A read-only file gives only a shared lock; Write refuses it with the reason that
    // says what to mend, before any byte is stored.
    if (file->ok() && file->readOnly()) file->Write(file->offset(), 0, &why);
    if (!file->ok() || file->readOnly()) {
        platform::Ungate(gate);
        return why;
    }
    gate_ = gate;
    held_ = std::move(file);
    port_ = port;
    WatchDirectory();
    return why;
}

void SenderLock::WatchDirectory() {
    const std::string directory = DirectoryOf(PortFilePath());
    const std::string identity = platform::Identity(directory);
    if (watch_ != platform::kNoFile && identity == watched_) return;
    platform::Unwatch(watch_);
    watch_ = platform::Watch(directory);
    watched_ = identity;
    replaced_ = written_ = false;
}

Status SenderLock::Read(std::int32_t port, std::uint8_t* byte) {
    if (!Through(port)) return READ_IO_BYTE(port, byte);
    Status why;
    *byte = 0;
    const std::int64_t slot = SlotOffset(port);
    if (!held_->Lock(slot, /*exclusive=*/false, &why)) return why;
    held_->Read(slot, byte, &why);
    held_->Unlock(slot);
    return why;
}

Status SenderLock::Swap(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                        std::uint8_t* held) {
    if (!Through(port)) return SWAP_IO_BYTE(port, expected, value, held);
    return SwapIn(*held_, port, expected, value, held);
}

Status SenderLock::SwapHeld(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                            std::uint8_t* held) {
    if (!held_ || port != port_) return SWAP_IO_BYTE(port, expected, value, held);
    return SwapIn(*held_, port, expected, value, held);
}

Status SenderLock::SwapIn(LockedByte& file, std::int32_t port, std::uint8_t expected,
                          std::uint8_t value, std::uint8_t* held) {
    Status why;
    *held = 0;
    const std::int64_t slot = SlotOffset(port);
    if (!file.Lock(slot, /*exclusive=*/true, &why)) return why;
    bool written = false;
    if (!ExchangeIn(
            file, slot, value, [expected](std::uint8_t was) { return was == expected; }, held,
            &written, &why)) {
        *held = 0;
    }
    file.Unlock(slot);
    return why;
}

void SenderLock::Drain() {
    for (const platform::Change change : platform::Changes(watch_, pexal::kPortFileName)) {
        if (change == platform::Change::kReplaced) replaced_ = true;
        if (change == platform::Change::kWritten && replaced_) written_ = true;
    }
}

// The order matters: the new file's byte is locked first, so that the printer cannot take
// it while this looks; the watch is read next, so every write it reports came before that
// lock; our byte is taken back from the old file last, a write the watch reports too but
// which no longer counts, since the new file is the held one by then.
Status SenderLock::Move(std::int32_t port, bool pending, std::uint8_t ours, Fate* fate) {
    *fate = Fate::kNone;
    Status why;
    if (!held_ || port != port_) return why;
    const std::int64_t slot = SlotOffset(port);
    auto next = std::make_unique<LockedByte>(PortFilePath(), kSenderRegion + slot,
                                             /*exclusive=*/true, &why);
    bool locked = next->ok() && next->Lock(slot, /*exclusive=*/true, &why);
    if (!locked && why.busy()) return why;
    Drain();
    // Where no watch tells what happened to the new file, nothing is known of it.
    const bool written = written_ || watch_ == platform::kNoFile;
    if (pending) {
        std::uint8_t was = 0;
        if (const Status old = SwapIn(*held_, port, ours, 0, &was); !old.ok()) {
            if (locked) next->Unlock(slot);
            return old.busy() ? old : (why.ok() ? old : why);
        }
        std::uint8_t there = 0;
        if (was != ours) {
            *fate = Fate::kTaken;
        } else if (!locked) {
            *fate = Fate::kStoreAgain;  // no file to hold a copy: the directory is gone
        } else if (!next->Read(slot, &there, &why)) {
            *fate = Fate::kStoreAgain;
        } else if (there == ours) {
            *fate = Fate::kWaitsInNewFile;
        } else {
            *fate = there == 0 && written ? Fate::kUnknown : Fate::kStoreAgain;
        }
    }
    if (!locked) return why;
    next->Unlock(slot);
    held_ = std::move(next);
    WatchDirectory();
    replaced_ = written_ = false;
    return why;
}

void SenderLock::Sleep(int milliseconds) {
    platform::Await(watch_, milliseconds);
    Drain();
}

bool SenderLock::StillNamed() const { return held_ && held_->StillNamed(); }

bool SenderLock::SlotCut(std::int32_t port) const {
    if (!held_ || port != port_) return false;
    const std::int64_t size = held_->Size();
    return size >= 0 && size <= SlotOffset(port);
}

void SenderLock::Release() {
    held_.reset();
    platform::Ungate(gate_);
    platform::Unwatch(watch_);
    gate_ = watch_ = platform::kNoFile;
    watched_.clear();
}

// A file the host has removed or replaced since is left alone: the printer looks for
// the port's byte by the name.
bool SenderLock::Through(std::int32_t port) const {
    return held_ && port == port_ && held_->StillNamed();
}

}  // namespace io
