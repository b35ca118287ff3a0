// The test kit's processes and environment on Windows (and under Wine). A lock holder is
// this test program started again with --hold, so that the lock is another process's.
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "tests/kit.h"

namespace pexal_test {

void ScopedEnv::Set(const char* name, const std::optional<std::string>& value) {
    // The C runtime's copy and the process's own, which GetTempPathA reads.
    _putenv_s(name, value ? value->c_str() : "");
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

namespace {

std::string Self() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string EventName(const std::string& id, const char* what) {
    return std::string("pexal-") + what + "-" + id;
}

}  // namespace

struct LockHolder::Process {
    HANDLE ready = nullptr, release = nullptr;
    PROCESS_INFORMATION info = {};
};

LockHolder::LockHolder(const std::filesystem::path& file, std::int64_t offset, bool exclusive,
                       int holdMicroseconds)
    : process_(new Process) {
    static int count = 0;
    const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
    process_->ready = CreateEventA(nullptr, TRUE, FALSE, EventName(id, "ready").c_str());
    process_->release = CreateEventA(nullptr, TRUE, FALSE, EventName(id, "release").c_str());
    // offset -1 stands for an open that shares nothing, instead of a lock.
    // Built by appending: GCC 12 warns falsely (-Wrestrict) at "literal" + a string.
    std::string command(1, '"');
    for (const std::string& part :
         {Self(), std::string("\" --hold "), id, std::string(" "), std::to_string(offset),
          std::string(exclusive ? " 1 " : " 0 "), std::to_string(holdMicroseconds),
          std::string(" \""), file.string(), std::string("\"")}) {
        command += part;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process_->info)) {
        CloseHandle(process_->info.hThread);
    }
    EXPECT_EQ(WaitForSingleObject(process_->ready, 20000), WAIT_OBJECT_0)
        << "the lock holder never held " << file;
}

LockHolder::~LockHolder() {
    SetEvent(process_->release);
    if (process_->info.hProcess != nullptr) {
        WaitForSingleObject(process_->info.hProcess, 20000);
        CloseHandle(process_->info.hProcess);
    }
    CloseHandle(process_->ready);
    CloseHandle(process_->release);
    delete process_;
}

// The --hold side: ID OFFSET EXCLUSIVE MICROSECONDS FILE.
std::optional<int> RunHelper(int argc, char** argv) {
    if (argc != 7 || std::string(argv[1]) != "--hold") return std::nullopt;
    const std::string id = argv[2];
    const long long offset = std::stoll(argv[3]);
    const bool exclusive = std::string(argv[4]) == "1";
    const int hold = std::stoi(argv[5]);
    const bool unshared = offset < 0;
    const HANDLE file = CreateFileA(argv[6], GENERIC_READ | GENERIC_WRITE,
                                    unshared ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    if (!unshared) LockFileEx(file, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at);
    SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, EventName(id, "ready").c_str()));
    if (hold > 0) {
        Sleep(static_cast<DWORD>((hold + 999) / 1000));
        if (!unshared) UnlockFileEx(file, 0, 1, 0, &at);
        CloseHandle(file);
    }
    WaitForSingleObject(OpenEventA(SYNCHRONIZE, FALSE, EventName(id, "release").c_str()), 60000);
    if (hold == 0) {
        if (!unshared) UnlockFileEx(file, 0, 1, 0, &at);
        CloseHandle(file);
    }
    return 0;
}

}  // namespace pexal_test
