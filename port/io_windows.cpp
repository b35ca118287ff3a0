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
    HANDLE Release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
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

OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

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
    Handle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return Fail(why, FailureKind::kUnusable, path, SystemReason(GetLastError()));
    }
    OVERLAPPED lockAt = At(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!LockFileEx(file.get(), flags, 0, 1, 0, &lockAt)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION) {
            return Fail(why, FailureKind::kBusy, path, "another program holds a lock on it");
        }
        return Fail(why, FailureKind::kUnusable, path, SystemReason(error));
    }
    std::uint8_t value = 0;
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!ReadFile(file.get(), &value, 1, &moved, &at)) {
        const DWORD error = GetLastError();
        if (error != ERROR_HANDLE_EOF) {
            return Fail(why, FailureKind::kUnusable, path, SystemReason(error));
        }
    }
    if (moved != 1) value = 0;  // beyond the end: the port is empty
    if (const std::optional<std::uint8_t> store = next(value, given)) {
        OVERLAPPED storeAt = At(offset);
        if (!WriteFile(file.get(), &*store, 1, &moved, &storeAt) || moved != 1) {
            return Fail(why, FailureKind::kUnusable, path, SystemReason(GetLastError()));
        }
        if (!file.Close()) {
            return Fail(why, FailureKind::kUnusable, path, SystemReason(GetLastError()));
        }
    }
    *held = value;
    return true;
}

bool LockHeld(const std::string& path, std::int64_t offset, std::intptr_t* handle, Failure* why) {
    Handle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return Fail(why, FailureKind::kUnusable, path, SystemReason(GetLastError()));
    }
    OVERLAPPED at = At(offset);
    if (!LockFileEx(file.get(), LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION) {
            return Fail(why, FailureKind::kBusy, path, "another sender holds it");
        }
        return Fail(why, FailureKind::kUnusable, path, SystemReason(error));
    }
    *handle = reinterpret_cast<std::intptr_t>(file.Release());
    return true;
}

void ReleaseHeld(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace io::platform
