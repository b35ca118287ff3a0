// The port link's primitives on Windows: CreateFileA, a LockFileEx byte lock, overlapped
// ReadFile/WriteFile at the port's offset.
#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <vector>

#include "port/locked_byte.h"
#include "common/text.h"

namespace io {

namespace platform {

const char kSeparator = '\\';

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

}  // namespace platform

namespace {

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

// "DOMAIN\name" of the owner of `path`, or "" where Windows cannot tell.
std::string OwnerOf(const std::string& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "";
    }
    const std::unique_ptr<void, decltype(&LocalFree)> freed(descriptor, &LocalFree);
    char name[256], domain[256];
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!LookupAccountSidA(nullptr, owner, name, &nameSize, domain, &domainSize, &use)) return "";
    return domainSize > 0 ? std::string(domain) + "\\" + name : std::string(name);
}

// " (owned by DOMAIN\name, read-only)", as much of it as Windows can tell.
std::string OwnerAndAttributes(const std::string& path, DWORD attributes) {
    std::string details;
    if (const std::string owner = OwnerOf(path); !owner.empty()) details = "owned by " + owner;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        details += (details.empty() ? "" : ", ") + std::string("read-only");
    }
    return details.empty() ? "" : " (" + details + ")";
}

bool IsDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A failure in words that say what to mend. Sharing and lock conflicts pass by
// themselves: they are busy, not broken.
bool FailFor(DWORD error, const std::string& path, Failure* why) {
    const std::string dir = DirectoryOf(path);
    switch (error) {
        case ERROR_LOCK_VIOLATION:
            return Fail(why, FailureKind::kBusy, path, "another program holds a lock on it");
        case ERROR_SHARING_VIOLATION:
            return Fail(why, FailureKind::kBusy, path,
                        "another program has it open and shares it with nobody");
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY: {
            const DWORD attributes = GetFileAttributesA(dir.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !IsDirectory(attributes)) {
                return Fail(why, FailureKind::kUnusable, path,
                            pexal::QuotePath(dir) + " is not a directory");
            }
            return Fail(why, FailureKind::kMissing, path,
                        "its directory " + pexal::QuotePath(dir) + " does not exist");
        }
        case ERROR_ACCESS_DENIED: {
            const DWORD attributes = GetFileAttributesA(path.c_str());
            if (IsDirectory(attributes)) {
                return Fail(why, FailureKind::kUnusable, path, "it is not a regular file");
            }
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                return Fail(why, FailureKind::kUnusable, path,
                            "permission denied" + OwnerAndAttributes(path, attributes));
            }
            return Fail(why, FailureKind::kUnusable, path,
                        "it cannot be created: permission denied on " + pexal::QuotePath(dir) +
                            OwnerAndAttributes(dir, INVALID_FILE_ATTRIBUTES));
        }
        default:
            return Fail(why, FailureKind::kUnusable, path, SystemReason(error));
    }
}

OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

// The host may delete or replace the file at any time, so every kind of sharing is
// granted.
bool LockedByte::Open(Failure* why) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    file_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = file_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (error == ERROR_ACCESS_DENIED) {
        file_ = CreateFileA(path_.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        readOnly_ = file_ != INVALID_HANDLE_VALUE;
        Failure denied;
        FailFor(error, path_, &denied);
        whyReadOnly_ = denied.reason;
    }
    if (file_ == INVALID_HANDLE_VALUE) return FailFor(error, path_, why);
    // A pipe or a device where the port file should be: nothing to lock or store in.
    if (GetFileType(file_) != FILE_TYPE_DISK) {
        Release();
        return Fail(why, FailureKind::kUnusable, path_, "it is not a regular file");
    }
    return true;
}

bool LockedByte::Lock(std::int64_t offset, bool exclusive, Failure* why) {
    OVERLAPPED at = At(offset);
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (exclusive && !readOnly_ ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file_, flags, 0, 1, 0, &at) || FailFor(GetLastError(), path_, why);
}

void LockedByte::Unlock(std::int64_t offset) {
    OVERLAPPED at = At(offset);
    UnlockFileEx(file_, 0, 1, 0, &at);
}

bool LockedByte::ok() const { return file_ != INVALID_HANDLE_VALUE; }

bool LockedByte::Read(std::int64_t offset, std::uint8_t* value, Failure* why) {
    *value = 0;
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!ReadFile(file_, value, 1, &moved, &at) && GetLastError() != ERROR_HANDLE_EOF) {
        return FailFor(GetLastError(), path_, why);
    }
    if (moved != 1) *value = 0;  // beyond the end: the port is empty
    return true;
}

bool LockedByte::Write(std::int64_t offset, std::uint8_t value, Failure* why) {
    if (readOnly_) return Fail(why, FailureKind::kUnusable, path_, whyReadOnly_);
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!WriteFile(file_, &value, 1, &moved, &at)) return FailFor(GetLastError(), path_, why);
    if (moved != 1) return Fail(why, FailureKind::kUnusable, path_, "short write");
    return true;
}

bool LockedByte::Close(Failure* why) {
    if (locked_) Unlock(offset_);
    locked_ = false;
    const bool closed = CloseHandle(file_) != 0;
    const DWORD error = GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    return closed || FailFor(error, path_, why);
}

// Without opening the path again, which under Wine would cost a descriptor for as long as
// the lock stands: the name is there, and the file held has not been removed from it.
bool LockedByte::StillNamed() const {
    WIN32_FILE_ATTRIBUTE_DATA named = {};
    FILE_STANDARD_INFO held = {};
    return GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &named) &&
           GetFileInformationByHandleEx(file_, FileStandardInfo, &held, sizeof held) &&
           held.NumberOfLinks > 0 && !held.DeletePending;
}

std::int64_t LockedByte::Size() const {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file_, &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
}

}  // namespace io
