// The port link's primitives on POSIX systems: open(2), an OFD byte lock, pread/pwrite.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/locked_byte.h"
#include "common/text.h"

namespace io {

namespace platform {

const char kSeparator = '/';

std::string TempDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    return "/tmp";
}

}  // namespace platform

namespace {

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// "owned by USER, mode 0600", for a reason a user can act on.
std::string OwnerAndMode(const std::string& path) {
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0) return "";
    const passwd* owner = ::getpwuid(info.st_uid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return " (owned by " + (owner != nullptr ? std::string(owner->pw_name)
                                             : "user " + std::to_string(info.st_uid)) +
           ", mode " + mode + ")";
}

// What stopped opening `path`, in words that say what to mend.
std::string OpenReason(int error, const std::string& path) {
    const std::string dir = DirectoryOf(path);
    switch (error) {
        case ELOOP:
            return "a symbolic link stands there; it is not followed";
        case EISDIR:
        case ENXIO:
            return "it is not a regular file";
        case ENOENT:
            return "its directory " + pexal::QuotePath(dir) + " does not exist";
        case ENOTDIR:
            return pexal::QuotePath(dir) + " is not a directory";
        case EROFS:
            return "it is on a read-only file system";
        case EACCES:
        case EPERM: {
            struct stat info = {};
            if (::lstat(path.c_str(), &info) == 0) return "permission denied" + OwnerAndMode(path);
            return "it cannot be created: permission denied on " + pexal::QuotePath(dir) +
                   OwnerAndMode(dir);
        }
        default:
            return std::strerror(error);
    }
}

std::string TransferReason(int error) {
    if (error == ESPIPE || error == EISDIR || error == EINVAL) return "it is not a regular file";
    return std::strerror(error);
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
int SetLock(int fd, struct flock lock) {
#ifdef F_OFD_SETLK
    return ::fcntl(fd, F_OFD_SETLK, &lock);
#else
    return ::fcntl(fd, F_SETLK, &lock);
#endif
}

}  // namespace

// The temporary directory is shared by every user: never follow a planted link, never
// block on a planted FIFO, and keep a port file we create to ourselves.
bool LockedByte::Open(Failure* why) {
    const int common = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    file_ = ::open(path_.c_str(), O_RDWR | O_CREAT | common, 0600);
    const int error = errno;
    if (file_ < 0 && (error == EACCES || error == EROFS)) {
        file_ = ::open(path_.c_str(), O_RDONLY | common);
        readOnly_ = file_ >= 0;
        whyReadOnly_ = OpenReason(error, path_);
    }
    return file_ >= 0 || Fail(why, error == ENOENT ? FailureKind::kMissing : FailureKind::kUnusable,
                              path_, OpenReason(error, path_));
}

bool LockedByte::Lock(std::int64_t offset, bool exclusive, Failure* why) {
    if (SetLock(file_, ByteAt(offset, exclusive && !readOnly_ ? F_WRLCK : F_RDLCK)) == 0) {
        return true;
    }
    const int error = errno;
    if (error == EAGAIN || error == EACCES) {
        return Fail(why, FailureKind::kBusy, path_, "another program holds a lock on it");
    }
    return Fail(why, FailureKind::kUnusable, path_, TransferReason(error));
}

void LockedByte::Unlock(std::int64_t offset) { SetLock(file_, ByteAt(offset, F_UNLCK)); }

bool LockedByte::ok() const { return file_ >= 0; }

bool LockedByte::Read(std::int64_t offset, std::uint8_t* value, Failure* why) {
    *value = 0;
    // A FIFO planted at the path fails here (ESPIPE); beyond the end, the port is empty.
    if (::pread(file_, value, 1, static_cast<off_t>(offset)) < 0) {
        return Fail(why, FailureKind::kUnusable, path_, TransferReason(errno));
    }
    return true;
}

bool LockedByte::Write(std::int64_t offset, std::uint8_t value, Failure* why) {
    if (readOnly_) return Fail(why, FailureKind::kUnusable, path_, whyReadOnly_);
    const ssize_t moved = ::pwrite(file_, &value, 1, static_cast<off_t>(offset));
    if (moved < 0) return Fail(why, FailureKind::kUnusable, path_, TransferReason(errno));
    if (moved != 1) return Fail(why, FailureKind::kUnusable, path_, "short write");
    return true;
}

bool LockedByte::Close(Failure* why) {
    if (locked_) Unlock(offset_);
    locked_ = false;
    const int result = ::close(file_);
    file_ = -1;
    if (result != 0) return Fail(why, FailureKind::kUnusable, path_, std::strerror(errno));
    return true;
}

bool LockedByte::StillNamed() const {
    struct stat named = {}, held = {};
    return ::lstat(path_.c_str(), &named) == 0 && ::fstat(file_, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

std::int64_t LockedByte::Size() const {
    struct stat held = {};
    return ::fstat(file_, &held) == 0 ? static_cast<std::int64_t>(held.st_size) : -1;
}

}  // namespace io
