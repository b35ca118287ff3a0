// What each platform gives the port link (io_posix.cpp, io_windows.cpp): the temporary
// directory, and the port file held open with a lock on one byte. io.cpp builds the four
// calls and the sender lock on these; nothing else in the program needs them.
#pragma once

#include <cstdint>
#include <string>

#include "port/io.h"

namespace io {

namespace platform {

extern const char kSeparator;

// The temporary directory as the platform names it now, or "" when there is none.
std::string TempDirectory();

}  // namespace platform

// The port file, opened (created when missing) with a non-blocking advisory lock on the
// byte at one offset: exclusive to store, shared to look. A file this process may only
// read is opened read-only under a shared lock, so a call that ends up storing nothing
// still works. Destruction unlocks and then closes, the order Wine needs: it keeps a
// file's descriptor alive for as long as any lock on that file stands.
class LockedByte {
public:
    // Check ok(); `why`, when given, says what failed (busy for another's lock).
    LockedByte(const std::string& path, std::int64_t offset, bool exclusive, Failure* why);
    ~LockedByte();
    LockedByte(const LockedByte&) = delete;
    LockedByte& operator=(const LockedByte&) = delete;

    bool ok() const;
    // Opened read-only: Write fails, and the lock is shared whatever was asked.
    bool readOnly() const { return readOnly_; }
    std::int64_t offset() const { return offset_; }

    // Another byte of the same open file, locked the same way (busy for another's lock)
    // while the first stays locked, so that one open serves many transfers. Unlock
    // before letting go of the file.
    bool Lock(std::int64_t offset, bool exclusive, Failure* why);
    void Unlock(std::int64_t offset);

    // The byte at `offset`, 0 beyond the end of the file.
    bool Read(std::int64_t offset, std::uint8_t* value, Failure* why);
    // Stores the byte at `offset`, extending the file with zeros when needed.
    bool Write(std::int64_t offset, std::uint8_t value, Failure* why);
    // Unlocks and closes now, saying whether what was written reached the file.
    bool Close(Failure* why);

    // Whether the path still names the file held open: the host may have removed or
    // replaced it since, and then what is written here reaches nobody.
    bool StillNamed() const;
    // The held file's length now (the host may have cut it short); -1 when unknown.
    std::int64_t Size() const;

private:
#ifdef _WIN32
    using Native = void*;  // a HANDLE
#else
    using Native = int;  // a descriptor
#endif
    // Opens path_ into file_ (read-only, with whyReadOnly_, where only reading is allowed);
    // file_ is always set, and closed again on failure.
    bool Open(Failure* why);
    void Release();

    std::string path_;
    std::int64_t offset_;
    Native file_{};
    bool locked_ = false;
    bool readOnly_ = false;
    std::string whyReadOnly_;  // the read-write open's reason, which names what to mend
};

// Fills in `why` (when given) and returns false, so that a failure path is one line.
bool Fail(Failure* why, FailureKind kind, const std::string& path, const std::string& reason);

}  // namespace io
