// The port link's transfers on POSIX systems: open(2), an OFD byte lock, pread/pwrite.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    int Close() {
        int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

bool FailErrno(Failure* why, const std::string& path, int error) {
    const bool busy = error == EAGAIN || error == EACCES;
    return Fail(why, busy ? FailureKind::kBusy : FailureKind::kUnusable, path,
                std::strerror(error));
}

// The temporary directory is shared by every user: never follow a planted link, never
// block on a planted FIFO, and keep a port file we create to ourselves.
int OpenAt(const std::string& path, bool write) {
    const int common = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | common, 0600);
    if (fd < 0 && !write && (errno == EACCES || errno == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | common);  // a read-only port file can still be read
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

bool IsDirectory(const char* path) {
    struct stat info = {};
    return path != nullptr && *path != '\0' && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string TempDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (IsDirectory(fromEnvironment)) return fromEnvironment;
    if (IsDirectory("/tmp")) return "/tmp";
    return "";
}

bool Transfer(const std::string& path, std::int64_t offset, bool write, std::uint8_t* byte,
              Failure* why) {
    Descriptor file(OpenAt(path, write));
    if (file.get() < 0) {
        const int error = errno;
        return Fail(why, FailureKind::kUnusable, path, std::strerror(error));
    }
    if (!LockByte(file.get(), offset, write)) return FailErrno(why, path, errno);
    // A directory or FIFO planted at the path fails here (EISDIR, ESPIPE).
    const ssize_t moved = write ? ::pwrite(file.get(), byte, 1, static_cast<off_t>(offset))
                                : ::pread(file.get(), byte, 1, static_cast<off_t>(offset));
    if (moved < 0) return Fail(why, FailureKind::kUnusable, path, std::strerror(errno));
    if (write && moved != 1) return Fail(why, FailureKind::kUnusable, path, "short write");
    if (!write && moved == 0) *byte = 0;  // beyond the end: the port is empty
    if (file.Close() != 0 && write) {
        return Fail(why, FailureKind::kUnusable, path, std::strerror(errno));
    }
    return true;
}

}  // namespace io::platform
