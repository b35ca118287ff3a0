#include "io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace io {
namespace {

constexpr char kFileName[] = "dov_port.dat";
constexpr std::int32_t kFirstPort = 100;

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// 64-bit so that no port number can overflow on the way to its offset.
std::int64_t SlotOffset(std::int32_t port) { return std::int64_t{port} - kFirstPort; }

bool Fail(Failure* why, const std::string& path, const std::string& reason, bool busy = false) {
    if (why != nullptr) {
        why->path = path;
        why->reason = reason;
        why->busy = busy;
    }
    return false;
}

bool FailNoSlot(Failure* why, std::int32_t port) {
    return Fail(why, PortFilePath(),
                "port " + std::to_string(port) + " has no slot (ports start at 100)");
}

#ifdef _WIN32

std::string SystemReason(DWORD error) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
}

// Opens the file and locks the port's byte; both handle and lock end with CloseHandle.
HANDLE OpenLocked(const std::string& path, std::int64_t offset, bool exclusive, Failure* why) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(why, path, SystemReason(GetLastError()));
        return h;
    }
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!LockFileEx(h, flags, 0, 1, 0, &at)) {
        DWORD error = GetLastError();
        CloseHandle(h);
        Fail(why, path, SystemReason(error), error == ERROR_LOCK_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool Transfer(std::int64_t offset, bool write, std::uint8_t* byte, Failure* why) {
    const std::string path = PortFilePath();
    HANDLE h = OpenLocked(path, offset, write, why);
    if (h == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD moved = 0;
    BOOL ok = write ? WriteFile(h, byte, 1, &moved, &at) : ReadFile(h, byte, 1, &moved, &at);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(h);
    if (!ok && !(error == ERROR_HANDLE_EOF && !write)) return Fail(why, path, SystemReason(error));
    if (write && moved != 1) return Fail(why, path, "short write");
    if (!write && moved != 1) *byte = 0;  // beyond the end: the port is empty
    return true;
}

#else

bool FailErrno(Failure* why, const std::string& path, int error, bool busy = false) {
    return Fail(why, path, std::strerror(error), busy);
}

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

// Opens the port file; fills in `path` with where it was looked for. A tick must stay
// cheap, so the directory TMPDIR names is tried before it is checked: only an open that
// finds no such directory pays for the check and the fallback.
int OpenPortFile(bool write, std::string* path) {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        *path = add_backslash(fromEnvironment) + kFileName;
        const int fd = OpenAt(*path, write);
        if (fd >= 0 || (errno != ENOENT && errno != ENOTDIR)) return fd;
    }
    *path = PortFilePath();
    return OpenAt(*path, write);
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

bool Transfer(std::int64_t offset, bool write, std::uint8_t* byte, Failure* why) {
    std::string path;
    Descriptor file(OpenPortFile(write, &path));
    if (file.get() < 0) return FailErrno(why, path, errno);
    if (!LockByte(file.get(), offset, write)) {
        const int error = errno;
        return FailErrno(why, path, error, error == EAGAIN || error == EACCES);
    }
    // A directory or FIFO planted at the path fails here (EISDIR, ESPIPE).
    const ssize_t moved = write ? ::pwrite(file.get(), byte, 1, static_cast<off_t>(offset))
                                : ::pread(file.get(), byte, 1, static_cast<off_t>(offset));
    if (moved < 0) return FailErrno(why, path, errno);
    if (write && moved != 1) return Fail(why, path, "short write");
    if (!write && moved == 0) *byte = 0;  // beyond the end: the port is empty
    if (file.Close() != 0 && write) return FailErrno(why, path, errno);
    return true;
}

#endif

}  // namespace

std::string add_backslash(const std::string& path) {
    if (path.empty() || path.back() == kSeparator) return path;
    return path + kSeparator;
}

std::string TempDirectory() {
#ifdef _WIN32
    std::vector<char> buffer(500);
    DWORD n = GetTempPathA(static_cast<DWORD>(buffer.size() - 1), buffer.data());
    if (n >= buffer.size() - 1) {  // too small: n is the size it needs
        buffer.assign(n + 1, '\0');
        n = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n >= buffer.size()) n = 0;
    }
    return std::string(buffer.data(), n);
#else
    auto isDirectory = [](const char* path) {
        struct stat info = {};
        return path != nullptr && *path != '\0' && ::stat(path, &info) == 0 &&
               S_ISDIR(info.st_mode);
    };
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (isDirectory(fromEnvironment)) return fromEnvironment;
    if (isDirectory("/tmp")) return "/tmp";
    return "";
#endif
}

std::string PortFilePath() { return add_backslash(TempDirectory()) + kFileName; }

std::uint8_t READ_IO_BYTE(std::int32_t port, Failure* why) {
    if (port < kFirstPort) {
        FailNoSlot(why, port);
        return 0;
    }
    std::uint8_t byte = 0;
    if (!Transfer(SlotOffset(port), false, &byte, why)) return 0;
    return byte;
}

bool WRITE_IO_BYTE(std::int32_t port, std::uint8_t value, Failure* why) {
    if (port < kFirstPort) return FailNoSlot(why, port);
    return Transfer(SlotOffset(port), true, &value, why);
}

}  // namespace io
