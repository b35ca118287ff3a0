// The port link's transfers on Windows: CreateFileA, a LockFileEx byte lock, overlapped
// ReadFile/WriteFile at the port's offset.
#include <windows.h>

#include <vector>

#include "port/transfer.h"

namespace io::platform {

const char kSeparator = '\\';

namespace {

// Owns a file handle; closing it also drops any lock taken through it.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    bool Close() {
        const bool ok = !valid() || CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

std::string SystemReason(DWORD error) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A failure in words that say what to mend. Sharing and lock conflicts pass by
// themselves: they are busy, not broken.
bool FailFor(DWORD error, const std::string& path, Failure* why) {
    switch (error) {
        case ERROR_LOCK_VIOLATION:
            return Fail(why, FailureKind::kBusy, path, "another program holds a lock on it");
        case ERROR_SHARING_VIOLATION:
            return Fail(why, FailureKind::kBusy, path,
                        "another program has it open and shares it with nobody");
        case ERROR_PATH_NOT_FOUND:
            return Fail(why, FailureKind::kUnusable, path,
                        "its directory " + DirectoryOf(path) + " does not exist");
        case ERROR_ACCESS_DENIED: {
            const DWORD attributes = GetFileAttributesA(path.c_str());
            const bool directory = attributes != INVALID_FILE_ATTRIBUTES &&
                                   (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            return Fail(why, FailureKind::kUnusable, path,
                        directory ? "it is not a regular file" : "permission denied");
        }
        default:
            return Fail(why, FailureKind::kUnusable, path, SystemReason(error));
    }
}

// The host may delete or replace the file at any time, so every kind of sharing is
// granted. A port file we may only read can still be read.
HANDLE Open(const std::string& path, bool* readOnly, DWORD* error) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    *error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    *readOnly = false;
    if (h == INVALID_HANDLE_VALUE && *error == ERROR_ACCESS_DENIED) {
        h = CreateFileA(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        *readOnly = h != INVALID_HANDLE_VALUE;
    }
    return h;
}

OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

bool LockByte(HANDLE file, std::int64_t offset, bool exclusive) {
    OVERLAPPED at = At(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

// Unlocks the byte before its handle closes. Closing would drop the lock as well, but
// Wine keeps a file's descriptor open for as long as a lock on it stands, and a process
// that polls would run out of descriptors.
class Unlocker {
public:
    Unlocker(HANDLE file, std::int64_t offset) : file_(file), at_(At(offset)) {}
    Unlocker(const Unlocker&) = delete;
    Unlocker& operator=(const Unlocker&) = delete;
    ~Unlocker() { UnlockFileEx(file_, 0, 1, 0, &at_); }

private:
    HANDLE file_;
    OVERLAPPED at_;
};

}  // namespace

std::string TempDirectory() {
    std::vector<char> buffer(500);
    DWORD n = GetTempPathA(static_cast<DWORD>(buffer.size() - 1), buffer.data());
    if (n >= buffer.size() - 1) {  // too small: n is the size it needs
        buffer.assign(n + 1, '\0');
        n = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n >= buffer.size()) n = 0;
    }
    return std::string(buffer.data(), n);
}

bool Transfer(const std::string& path, std::int64_t offset, bool exclusive, Next next,
              Given given, std::uint8_t* held, Failure* why) {
    bool readOnly = false;
    DWORD openError = 0;
    Handle file(Open(path, &readOnly, &openError));
    if (!file.valid()) return FailFor(openError, path, why);
    if (!LockByte(file.get(), offset, exclusive && !readOnly)) {
        return FailFor(GetLastError(), path, why);
    }
    std::optional<Unlocker> unlock(std::in_place, file.get(), offset);
    std::uint8_t value = 0;
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!ReadFile(file.get(), &value, 1, &moved, &at)) {
        const DWORD error = GetLastError();
        if (error != ERROR_HANDLE_EOF) return FailFor(error, path, why);
    }
    if (moved != 1) value = 0;  // beyond the end: the port is empty
    if (const std::optional<std::uint8_t> store = next(value, given)) {
        if (readOnly) return FailFor(openError, path, why);
        OVERLAPPED storeAt = At(offset);
        if (!WriteFile(file.get(), &*store, 1, &moved, &storeAt)) {
            return FailFor(GetLastError(), path, why);
        }
        if (moved != 1) return Fail(why, FailureKind::kUnusable, path, "short write");
        unlock.reset();
        if (!file.Close()) return FailFor(GetLastError(), path, why);
    }
    *held = value;
    return true;
}

bool LockHeld(const std::string& path, std::int64_t offset, std::intptr_t* handle, Failure* why) {
    bool readOnly = false;
    DWORD openError = 0;
    Handle file(Open(path, &readOnly, &openError));
    if (!file.valid() || readOnly) return FailFor(openError, path, why);
    if (!LockByte(file.get(), offset, true)) {
        if (GetLastError() == ERROR_LOCK_VIOLATION) {
            return Fail(why, FailureKind::kBusy, path, "another sender holds it");
        }
        return FailFor(GetLastError(), path, why);
    }
    *handle = reinterpret_cast<std::intptr_t>(file.Release());
    return true;
}

void ReleaseHeld(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace io::platform
