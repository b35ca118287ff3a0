// What each platform gives the port link (io_posix.cpp, io_windows.cpp): calls to its
// system that report what happened, never a decision or a sentence. io.cpp composes them
// into the four calls and the sender lock; nothing else in the program needs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace io::platform {

extern const char kSeparator;

// The temporary directory as the platform names it now, or "" when there is none.
std::string TempDirectory();

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using File = std::intptr_t;
constexpr File kNoFile = -1;

// What a failed call ran into.
enum class Fault {
    kNone,
    kLocked,        // another holds a conflicting lock on the byte
    kUnshared,      // another has the file open and shares it with nobody
    kNoDirectory,   // the path's directory was not found
    kNotDirectory,  // the path's directory part is not a directory
    kLink,          // a symbolic link stands at the path
    kNotRegular,    // a directory, pipe or device stands at the path
    kReadOnlyFs,    // the file system is read-only
    kDenied,        // permission denied
    kOther,         // only `code` says
};

struct Error {
    Fault fault = Fault::kNone;
    long code = 0;  // errno, or GetLastError()
};

// Opens `path`: to read and write, created for this user alone when missing; or, with
// `readOnly`, an existing file to read. Never follows a symbolic link or blocks on a FIFO;
// the host may delete or replace the file while it is open.
File Open(const std::string& path, bool readOnly, Error* error);
// A non-blocking advisory lock on the byte at `offset`, exclusive or shared.
bool Lock(File file, std::int64_t offset, bool exclusive, Error* error);
void Unlock(File file, std::int64_t offset);
// Bytes moved: 1, or 0 (a read beyond the end; a short write); -1 on failure.
int ReadAt(File file, std::int64_t offset, std::uint8_t* value, Error* error);
int WriteAt(File file, std::int64_t offset, std::uint8_t value, Error* error);
bool Close(File file, Error* error);

// Whether `path` still names the file held open (not removed, not replaced).
bool Names(const std::string& path, File file);
// The held file's length now; -1 when unknown.
std::int64_t Size(File file);

enum class Entry { kNothing, kDirectory, kOther };
Entry Look(const std::string& path);

// What the system tells of who may change `path`: its owner's name (or number), its
// permission bits, whether it is marked read-only. Unknown parts stay empty or -1.
struct Owner {
    std::string name;
    long id = -1;
    int mode = -1;
    bool readOnly = false;
};
Owner OwnerOf(const std::string& path);

// The directory's identity: device and inode on POSIX, the full path on Windows; "" when
// it is not there.
std::string Identity(const std::string& directory);
// The directory's path, the same however it is spelt (links and ".." resolved); it stays
// the same when the directory is made anew. "" when it is not there.
std::string Canonical(const std::string& directory);

// A lock that lives in no file, named `name` (letters, digits and '-', 64 at most): held
// from a successful call until Ungate or
// the process ends, whatever happens to any file or directory. Held elsewhere: kLocked.
File Gate(const std::string& name, Error* error);
void Ungate(File gate);

// A watch on a directory's entries, to learn at once that one is replaced or written;
// kNoFile where the platform gives none (then nothing is ever known of it).
File Watch(const std::string& directory);
void Unwatch(File watch);
enum class Change { kReplaced, kWritten };
// What happened to the entry `name` since the last call, in order. The directory removed
// or moved counts as the entry replaced (a directory made anew holds no copy of it); news
// lost, as the entry replaced and written.
std::vector<Change> Changes(File watch, const std::string& name);
// Sleeps for `milliseconds`, or until the watch has news.
void Await(File watch, int milliseconds);

// The system's own words for an error code; "" when it has none.
std::string SystemText(long code);

}  // namespace io::platform
