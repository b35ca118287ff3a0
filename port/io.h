// The host's I/O ports, reached through the port file the host emulator keeps in the
// temporary directory: one byte a port, port P at offset P - 100.
//
// Every call opens the file, moves one byte and closes it again; no handle, path or
// directory is cached, so the host may create, replace or delete the file at any time.
// (A sender holding its SenderLock moves bytes through the file that lock holds open, for
// as long as the path still names it.) Each call takes a non-blocking advisory lock on the
// port's byte (shared to read, exclusive to write); a conflicting lock held elsewhere
// fails the call as busy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace io {

class LockedByte;

enum class FailureKind {
    kNone,      // the call did what it was asked
    kBusy,      // another process holds a conflicting lock; passes by itself
    kNoSlot,    // the port number has no byte in the file (below 100)
    kUnusable,  // the file or its directory needs mending before the call can work
    kMissing,   // the temporary directory does not exist; it may yet be made
};

// The outcome of a call: ok(), or why not.
struct Failure {
    FailureKind kind = FailureKind::kNone;
    std::string path;    // the port file the call tried to use
    std::string reason;  // what stopped the call, in words a user can act on

    bool ok() const { return kind == FailureKind::kNone; }
    bool busy() const { return kind == FailureKind::kBusy; }
    // Whether waiting may mend it: a lock passes, a directory may be made.
    bool mayPass() const { return busy() || kind == FailureKind::kMissing; }
};

// The port's byte, or 0 when the port is empty or any step fails. Pass `why` to tell a
// failure (filled in, returns 0) from an empty port (`why` left ok).
std::uint8_t READ_IO_BYTE(std::int32_t port, Failure* why = nullptr);

// Stores `value` in the port's slot, extending the file with zeros when needed. Returns
// false, and fills in `why`, when the byte was not stored.
bool WRITE_IO_BYTE(std::int32_t port, std::uint8_t value, Failure* why = nullptr);

// Takes the port's byte in one open under one exclusive lock: reads it and, when it is
// not 0, stores 0 in its place. Returns the byte only once that 0 has stuck; 0 when the
// port is empty or any step fails (then `why` says which, and the byte stays where it is).
// A sender that waits for 0 sees the same handshake as with a read and a write, and a
// byte stored between the two can no longer be overwritten unseen.
std::uint8_t TAKE_IO_BYTE(std::int32_t port, Failure* why = nullptr);

// Under one exclusive lock: stores `value` only when the port holds `expected`. Returns
// what the port held, so `expected` back means `value` was stored (check `why` when
// `expected` is 0: a failure returns 0 too). A sender stores into an empty port with it,
// and takes back its own byte if the printer has not taken it yet.
std::uint8_t SWAP_IO_BYTE(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                          Failure* why = nullptr);

// An exclusive advisory lock on a byte of the port file far beyond every port's slot
// (one such byte a port), held from a successful TryLock until destruction. Senders hold
// it for a whole text so that two texts never interleave; the printer never touches it.
class SenderLock {
public:
    SenderLock();
    ~SenderLock();
    SenderLock(const SenderLock&) = delete;
    SenderLock& operator=(const SenderLock&) = delete;

    // Tries once, without waiting: false with `why` busy while another sender holds it.
    bool TryLock(std::int32_t port, Failure* why = nullptr);

    // READ_IO_BYTE and SWAP_IO_BYTE, done while the lock is held through the file it holds
    // open: a long send opens the port file once, not at every look (under Wine each
    // handle closed while a lock on the file stands keeps a descriptor open until the lock
    // goes). Without the lock, or once the path names another file, they are those calls.
    std::uint8_t Read(std::int32_t port, Failure* why = nullptr);
    std::uint8_t Swap(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                      Failure* why = nullptr);

    // The file the lock holds, whatever the path names now: a byte stored there is there,
    // taken or not, even after the host removed, replaced or moved the file. Whether the
    // path still names it; whether the port's slot lies beyond its end (the host cut it
    // short); and a swap of the port's byte in it (as SWAP_IO_BYTE).
    bool Held() const { return held_ != nullptr; }
    bool StillNamed() const;
    bool SlotCut(std::int32_t port) const;
    std::uint8_t SwapHeld(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                          Failure* why = nullptr);
    // Lets go of the lock and its file, to take the lock again on the file the path names.
    void Release();

private:
    bool Through(std::int32_t port) const;
    std::uint8_t SwapIn(std::int32_t port, std::uint8_t expected, std::uint8_t value, Failure* why);

    std::unique_ptr<LockedByte> held_;
    std::int32_t port_ = 0;
};

// `path` with one trailing directory separator ensured; the empty path stays empty.
std::string add_backslash(const std::string& path);

// Where the port file is: in the platform's temporary directory, or the bare file name
// (resolved against the working directory) when there is none. On POSIX the directory is
// TMPDIR when set and not empty, whether or not such a directory exists (as on Windows,
// where TMP is taken as it stands); /tmp only when TMPDIR is unset or empty. A missing
// directory is a failure of every call, never a reason to use another directory.
std::string PortFilePath();

}  // namespace io
