// The port link's transfers on POSIX systems: open(2), an OFD byte lock, pread/pwrite.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/transfer.h"

namespace io::platform {

const char kSeparator = '/';

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int Close() {
        int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

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
            return "its directory " + dir + " does not exist";
        case ENOTDIR:
            return dir + " is not a directory";
        case EROFS:
            return "it is on a read-only file system";
        case EACCES:
        case EPERM: {
            struct stat info = {};
            if (::lstat(path.c_str(), &info) == 0) return "permission denied" + OwnerAndMode(path);
            return "it cannot be created: permission denied on " + dir + OwnerAndMode(dir);
        }
        default:
            return std::strerror(error);
    }
}

std::string TransferReason(int error) {
    if (error == ESPIPE || error == EISDIR || error == EINVAL) return "it is not a regular file";
    return std::strerror(error);
}

// The temporary directory is shared by every user: never follow a planted link, never
// block on a planted FIFO, and keep a port file we create to ourselves. A call that ends
// up storing nothing (a read, a take of an empty port) can still use a port file it may
// only read; the reason kept is the read-write open's, which names what to mend.
int Open(const std::string& path, bool* readOnly, int* error) {
    const int common = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | common, 0600);
    *error = errno;
    *readOnly = false;
    if (fd < 0 && (*error == EACCES || *error == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | common);
        *readOnly = fd >= 0;
    }
    return fd;
}

bool LockByte(int fd, std::int64_t offset, bool exclusive) {
    struct flock lock = {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = 1;
#ifdef F_OFD_SETLK
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
#else
    return ::fcntl(fd, F_SETLK, &lock) == 0;
#endif
}

bool Unusable(Failure* why, const std::string& path, const std::string& reason) {
    return Fail(why, FailureKind::kUnusable, path, reason);
}

}  // namespace

std::string TempDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    return "/tmp";
}

bool Transfer(const std::string& path, std::int64_t offset, bool exclusive, Next next,
              Given given, std::uint8_t* held, Failure* why) {
    bool readOnly = false;
    int openError = 0;
    Descriptor file(Open(path, &readOnly, &openError));
    if (file.get() < 0) return Unusable(why, path, OpenReason(openError, path));
    if (!LockByte(file.get(), offset, exclusive && !readOnly)) {
        const int error = errno;
        if (error == EAGAIN || error == EACCES) {
            return Fail(why, FailureKind::kBusy, path, "another program holds a lock on it");
        }
        return Unusable(why, path, TransferReason(error));
    }
    const off_t at = static_cast<off_t>(offset);
    std::uint8_t value = 0;
    // A FIFO planted at the path fails here (ESPIPE); beyond the end, the port is empty.
    if (::pread(file.get(), &value, 1, at) < 0) return Unusable(why, path, TransferReason(errno));
    if (const std::optional<std::uint8_t> store = next(value, given)) {
        if (readOnly) return Unusable(why, path, OpenReason(openError, path));
        const ssize_t moved = ::pwrite(file.get(), &*store, 1, at);
        if (moved < 0) return Unusable(why, path, TransferReason(errno));
        if (moved != 1) return Unusable(why, path, "short write");
        if (file.Close() != 0) return Unusable(why, path, std::strerror(errno));
    }
    *held = value;
    return true;
}

bool LockHeld(const std::string& path, std::int64_t offset, std::intptr_t* handle, Failure* why) {
    bool readOnly = false;
    int openError = 0;
    Descriptor file(Open(path, &readOnly, &openError));
    if (file.get() < 0) return Unusable(why, path, OpenReason(openError, path));
    if (readOnly) return Unusable(why, path, OpenReason(openError, path));
    if (!LockByte(file.get(), offset, true)) {
        const int error = errno;
        if (error == EAGAIN || error == EACCES) {
            return Fail(why, FailureKind::kBusy, path, "another sender holds it");
        }
        return Unusable(why, path, TransferReason(error));
    }
    *handle = file.Release();
    return true;
}

void ReleaseHeld(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

}  // namespace io::platform
