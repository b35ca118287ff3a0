// The port link's primitives on POSIX systems: open(2), an OFD byte lock, pread/pwrite.
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "port/platform.h"

namespace io::platform {

const char kSeparator = '/';

std::string TempDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    return "/tmp";
}

namespace {

bool Failed(Error* error) {
    const int code = errno;
    if (error == nullptr) return false;
    error->code = code;
    switch (code) {
        case EACCES:
        case EPERM:
            error->fault = Fault::kDenied;
            break;
        case ENOENT:
            error->fault = Fault::kNoDirectory;
            break;
        case ENOTDIR:
            error->fault = Fault::kNotDirectory;
            break;
        case ELOOP:
            error->fault = Fault::kLink;
            break;
        case EISDIR:
        case ENXIO:
        case ESPIPE:
        case EINVAL:
            error->fault = Fault::kNotRegular;
            break;
        case EROFS:
            error->fault = Fault::kReadOnlyFs;
            break;
        default:
            error->fault = Fault::kOther;
    }
    return false;
}

struct flock ByteAt(std::int64_t offset, short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = 1;
    return lock;
}

// Open-file-description locks belong to this open alone, not to the whole process, so a
// second open in the same process neither shares nor silently drops them.
int SetLock(File file, struct flock lock) {
#ifdef F_OFD_SETLK
    return ::fcntl(static_cast<int>(file), F_OFD_SETLK, &lock);
#else
    return ::fcntl(static_cast<int>(file), F_SETLK, &lock);
#endif
}

}  // namespace

// The temporary directory is shared by every user: never follow a planted link, never
// block on a planted FIFO, and keep a port file we create to ourselves.
File Open(const std::string& path, bool readOnly, Error* error) {
    const int common = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    const int fd = readOnly ? ::open(path.c_str(), O_RDONLY | common)
                            : ::open(path.c_str(), O_RDWR | O_CREAT | common, 0600);
    if (fd < 0) Failed(error);
    return fd < 0 ? kNoFile : fd;
}

bool Lock(File file, std::int64_t offset, bool exclusive, Error* error) {
    if (SetLock(file, ByteAt(offset, exclusive ? F_WRLCK : F_RDLCK)) == 0) return true;
    // fcntl says EAGAIN or EACCES for a lock held elsewhere.
    const int code = errno;
    Failed(error);
    if (error != nullptr && (code == EAGAIN || code == EACCES)) error->fault = Fault::kLocked;
    return false;
}

void Unlock(File file, std::int64_t offset) { SetLock(file, ByteAt(offset, F_UNLCK)); }

int ReadAt(File file, std::int64_t offset, std::uint8_t* value, Error* error) {
    const ssize_t moved = ::pread(static_cast<int>(file), value, 1, static_cast<off_t>(offset));
    return moved < 0 ? (Failed(error), -1) : static_cast<int>(moved);
}

int WriteAt(File file, std::int64_t offset, std::uint8_t value, Error* error) {
    const ssize_t moved = ::pwrite(static_cast<int>(file), &value, 1, static_cast<off_t>(offset));
    return moved < 0 ? (Failed(error), -1) : static_cast<int>(moved);
}

bool Close(File file, Error* error) { return ::close(static_cast<int>(file)) == 0 || Failed(error); }

bool Names(const std::string& path, File file) {
    struct stat named = {}, held = {};
    return ::lstat(path.c_str(), &named) == 0 && ::fstat(static_cast<int>(file), &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

std::int64_t Size(File file) {
    struct stat held = {};
    return ::fstat(static_cast<int>(file), &held) == 0 ? static_cast<std::int64_t>(held.st_size) : -1;
}

Entry Look(const std::string& path) {
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0) return Entry::kNothing;
    return S_ISDIR(info.st_mode) ? Entry::kDirectory : Entry::kOther;
}

Owner OwnerOf(const std::string& path) {
    Owner owner;
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0) return owner;
    owner.id = static_cast<long>(info.st_uid);
    if (const passwd* user = ::getpwuid(info.st_uid)) owner.name = user->pw_name;
    owner.mode = static_cast<int>(info.st_mode & 07777);
    return owner;
}

std::string Identity(const std::string& directory) {
    struct stat info = {};
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

std::string Canonical(const std::string& directory) {
    char* resolved = ::realpath(directory.c_str(), nullptr);
    if (resolved == nullptr) return "";
    std::string path(resolved);
    std::free(resolved);
    return path;
}

// A socket bound to a name in Linux's abstract namespace: only one process can bind a
// name, it writes no file, and it goes with the process.
File Gate(const std::string& name, Error* error) {
    sockaddr_un address = {};
    if (name.size() + 1 > sizeof address.sun_path) return errno = ENAMETOOLONG, Failed(error), kNoFile;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Failed(error), kNoFile;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) return fd;
    const int code = errno;
    ::close(fd);
    errno = code;
    Failed(error);
    if (error != nullptr && code == EADDRINUSE) error->fault = Fault::kLocked;
    return kNoFile;
}

void Ungate(File gate) {
    if (gate != kNoFile) ::close(static_cast<int>(gate));
}

File Watch(const std::string& directory) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return kNoFile;
    constexpr std::uint32_t kEntries =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(fd, directory.c_str(), kEntries) < 0) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

void Unwatch(File watch) {
    if (watch != kNoFile) ::close(static_cast<int>(watch));
}

std::vector<Change> Changes(File watch, const std::string& name) {
    std::vector<Change> changes;
    if (watch == kNoFile) return changes;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = ::read(static_cast<int>(watch), buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changes.push_back(Change::kReplaced);
                changes.push_back(Change::kWritten);
            } else if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                changes.push_back(Change::kReplaced);
            } else if (event->len > 0 && name == event->name) {
                changes.push_back(event->mask & IN_MODIFY ? Change::kWritten : Change::kReplaced);
            }
        }
    }
    return changes;
}

void Await(File watch, int milliseconds) {
    if (watch == kNoFile) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    pollfd news = {static_cast<int>(watch), POLLIN, 0};
    ::poll(&news, 1, milliseconds);
}

std::string SystemText(long code) { return std::strerror(static_cast<int>(code)); }

}  // namespace io::platform
