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

#include "common/status.h"

namespace io {

class LockedByte;

using pexal::Status;

// The port's byte, or 0 when the port is empty or any step fails.
std::uint8_t READ_IO_BYTE(std::int32_t port);
// The port's byte in `byte` (0 when the port is empty); not ok, with `byte` 0, when any
// step fails.
Status READ_IO_BYTE(std::int32_t port, std::uint8_t* byte);

// Stores `value` in the port's slot, extending the file with zeros when needed.
Status WRITE_IO_BYTE(std::int32_t port, std::uint8_t value);

// Takes the port's byte in one open under one exclusive lock: reads it and, when it is
// not 0, stores 0 in its place. `byte` gets it only once that 0 has stuck; 0 when the
// port is empty or any step fails (then the byte stays where it is).
// A sender that waits for 0 sees the same handshake as with a read and a write, and a
// byte stored between the two can no longer be overwritten unseen. A file that can only
// be read fails the take even while the port is empty: no byte could be cleared there.
Status TAKE_IO_BYTE(std::int32_t port, std::uint8_t* byte);

// Under one exclusive lock: stores `value` only when the port holds `expected`. `held`
// gets what the port held, so `expected` there (and ok) means `value` was stored. A
// sender stores into an empty port with it, and takes back its own byte if the printer
// has not taken it yet.
Status SWAP_IO_BYTE(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                    std::uint8_t* held);

// One sender at a time for a port of a port file: a lock named by the port file's
// directory and the port (held in no file, so that the host replacing the file cannot
// move it), taken with the port file opened and held for a whole text so that two texts
// never interleave. The printer never touches it. While it is held, the port file's
// directory is watched where the platform allows, so that a replaced file is seen at once
// and what happened to the new file since is known.
class SenderLock {
public:
    SenderLock();
    ~SenderLock();
    SenderLock(const SenderLock&) = delete;
    SenderLock& operator=(const SenderLock&) = delete;

    // Tries once, without waiting: busy while another sender holds it. A file this user
    // may only read fails here with the reason: nothing could be stored in it.
    Status TryLock(std::int32_t port);

    // READ_IO_BYTE and SWAP_IO_BYTE, done while the lock is held through the file it holds
    // open: a long send opens the port file once, not at every look (under Wine each
    // handle closed while a lock on the file stands keeps a descriptor open until the lock
    // goes). Without the lock, or once the path names another file, they are those calls.
    Status Read(std::int32_t port, std::uint8_t* byte);
    Status Swap(std::int32_t port, std::uint8_t expected, std::uint8_t value, std::uint8_t* held);

    // The file the lock holds, whatever the path names now: a byte stored there is there,
    // taken or not, even after the host removed, replaced or moved the file. Whether the
    // path still names it; whether the port's slot lies beyond its end (the host cut it
    // short); and a swap of the port's byte in it (as SWAP_IO_BYTE).
    bool Held() const { return held_ != nullptr; }
    bool StillNamed() const;
    bool SlotCut(std::int32_t port) const;
    Status SwapHeld(std::int32_t port, std::uint8_t expected, std::uint8_t value,
                    std::uint8_t* held);

    // What became of a byte of ours that waited in the held file when the path came to
    // name another: the printer took it there; the new file holds it too (a copy), and it
    // waits there now; it is taken back, to be stored again in the new file; or it is taken
    // back but the new file lost a byte since it replaced the old, so whether the printer
    // took a copy of it cannot be known. kNone: not settled yet.
    enum class Fate { kNone, kTaken, kWaitsInNewFile, kStoreAgain, kUnknown };
    // Holds the file the path names now in place of the held one, keeping the lock, and
    // settles `ours` when `pending` says it may wait in the held file. The new file's byte
    // is locked while this decides, so the printer cannot take it meanwhile. Busy or
    // missing: look again (`fate` may still be settled); any other failure: the file the
    // path names cannot be used, and the held one stays.
    Status Move(std::int32_t port, bool pending, std::uint8_t ours, Fate* fate);

    // Sleeps for `milliseconds`, waking at once when the port file is replaced or written.
    void Sleep(int milliseconds);
    // Lets go of the lock and its file.
    void Release();

private:
    bool Through(std::int32_t port) const;
    Status SwapIn(LockedByte& file, std::int32_t port, std::uint8_t expected, std::uint8_t value,
                  std::uint8_t* held);
    // Takes what the watch saw into `replaced_` and `written_`.
    void Drain();
    void WatchDirectory();

    std::unique_ptr<LockedByte> held_;
    std::int32_t port_ = 0;
    std::intptr_t gate_ = -1, watch_ = -1;  // the platform's handles
    std::string watched_;                   // the identity of the directory watched
    bool replaced_ = false;                 // the held file's name has named another since
    bool written_ = false;                  // ... and that other was written after
};

// `path` with one trailing directory separator ensured; the empty path stays empty.
std::string add_backslash(const std::string& path);

// The directory part of `path` ("." for a bare name), as the platform separates them.
std::string DirectoryOf(const std::string& path);

// Where the port file is: in the platform's temporary directory, or the bare file name
// (resolved against the working directory) when there is none. On POSIX the directory is
// TMPDIR when set and not empty, whether or not such a directory exists (as on Windows,
// where TMP is taken as it stands); /tmp only when TMPDIR is unset or empty. A missing
// directory is a failure of every call, never a reason to use another directory.
std::string PortFilePath();

}  // namespace io
