// The port link's primitives on Windows: CreateFileA, a LockFileEx byte lock, overlapped
// ReadFile/WriteFile at the port's offset.
#include <windows.h>
#include <aclapi.h>

#include <cctype>
#include <memory>
#include <vector>

#include "port/platform.h"

namespace io::platform {

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

namespace {

bool Failed(Error* error, DWORD code = GetLastError()) {
    if (error == nullptr) return false;
    error->code = static_cast<long>(code);
    switch (code) {
        case ERROR_LOCK_VIOLATION:
            error->fault = Fault::kLocked;
            break;
        case ERROR_SHARING_VIOLATION:
            error->fault = Fault::kUnshared;
            break;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
            error->fault = Fault::kNoDirectory;
            break;
        case ERROR_ACCESS_DENIED:
            error->fault = Fault::kDenied;
            break;
        default:
            error->fault = Fault::kOther;
    }
    return false;
}

HANDLE Native(File file) { return reinterpret_cast<HANDLE>(file); }

OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

// The host may delete or replace the file at any time, so every kind of sharing is
// granted.
File Open(const std::string& path, bool readOnly, Error* error) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | (readOnly ? 0 : GENERIC_WRITE), kShare, nullptr,
                    readOnly ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed(error), kNoFile;
    if (GetFileType(file) != FILE_TYPE_DISK) {  // a pipe or a device
        CloseHandle(file);
        if (error != nullptr) *error = {Fault::kNotRegular, 0};
        return kNoFile;
    }
    return reinterpret_cast<File>(file);
}

bool Lock(File file, std::int64_t offset, bool exclusive, Error* error) {
    OVERLAPPED at = At(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(Native(file), flags, 0, 1, 0, &at) || Failed(error);
}

void Unlock(File file, std::int64_t offset) {
    OVERLAPPED at = At(offset);
    UnlockFileEx(Native(file), 0, 1, 0, &at);
}

int ReadAt(File file, std::int64_t offset, std::uint8_t* value, Error* error) {
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!ReadFile(Native(file), value, 1, &moved, &at) && GetLastError() != ERROR_HANDLE_EOF) {
        return Failed(error), -1;
    }
    return static_cast<int>(moved);
}

int WriteAt(File file, std::int64_t offset, std::uint8_t value, Error* error) {
    DWORD moved = 0;
    OVERLAPPED at = At(offset);
    if (!WriteFile(Native(file), &value, 1, &moved, &at)) return Failed(error), -1;
    return static_cast<int>(moved);
}

bool Close(File file, Error* error) { return CloseHandle(Native(file)) || Failed(error); }

// Without opening the path again, which under Wine would cost a descriptor for as long as
// the lock stands: the name is there, and the file held has not been removed from it.
bool Names(const std::string& path, File file) {
    WIN32_FILE_ATTRIBUTE_DATA named = {};
    FILE_STANDARD_INFO held = {};
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &named) &&
           GetFileInformationByHandleEx(Native(file), FileStandardInfo, &held, sizeof held) &&
           held.NumberOfLinks > 0 && !held.DeletePending;
}

std::int64_t Size(File file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(Native(file), &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
}

Entry Look(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::kNothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Entry::kDirectory : Entry::kOther;
}

// A directory's read-only attribute means nothing to its files, so only a file's counts.
Owner OwnerOf(const std::string& path) {
    Owner owner;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    owner.readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                     (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
                         FILE_ATTRIBUTE_READONLY;
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return owner;
    }
    const std::unique_ptr<void, decltype(&LocalFree)> freed(descriptor, &LocalFree);
    char name[256], domain[256];
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        owner.name = domainSize > 0 ? std::string(domain) + "\\" + name : std::string(name);
    }
    return owner;
}

std::string Identity(const std::string& directory) { return Canonical(directory); }

std::string Canonical(const std::string& directory) {
    const DWORD attributes = GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "";
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(directory.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return "";
    std::string identity(full, n);
    for (char& c : identity) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (identity.size() > 3 && identity.back() == '\\') identity.pop_back();
    return identity;
}

// A named mutex, as the printer's own claim.
File Gate(const std::string& name, Error* error) {
    const HANDLE gate = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    if (gate == nullptr) return Failed(error), kNoFile;
    // A holder that ended without letting go leaves the mutex abandoned: it is ours then.
    const DWORD waited = WaitForSingleObject(gate, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return reinterpret_cast<File>(gate);
    CloseHandle(gate);
    if (error != nullptr) *error = {Fault::kLocked, ERROR_LOCK_VIOLATION};
    return kNoFile;
}

void Ungate(File gate) {
    if (gate == kNoFile) return;
    ReleaseMutex(Native(gate));
    CloseHandle(Native(gate));
}

// No watch here: a replaced file is found at the next look, and what happened to it
// meanwhile is not known.
File Watch(const std::string&) { return kNoFile; }
void Unwatch(File) {}
std::vector<Change> Changes(File, const std::string&) { return {}; }
void Await(File, int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

std::string SystemText(long code) {
    char text[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
    return std::string(text, n);
}

}  // namespace io::platform
