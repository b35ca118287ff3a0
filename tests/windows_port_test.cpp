// The Windows port link and poll cycle, run under Windows (or Wine): a private TMP per
// test, and another process that holds the port file locked or open without sharing.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "port/io.h"
#include "port/poll_port.h"
#include "tests/kit.h"

namespace fs = std::filesystem;

namespace {

std::string Self() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// Another process that holds `file` (a byte lock on port 130, or an open that shares
// nothing) until destroyed; it is this program, started with --hold.
class Holder {
public:
    Holder(const fs::path& file, const char* how) {
        const std::string id = std::to_string(GetCurrentProcessId()) + "-" + how;
        ready_ = CreateEventA(nullptr, TRUE, FALSE, ("pexal-ready-" + id).c_str());
        release_ = CreateEventA(nullptr, TRUE, FALSE, ("pexal-release-" + id).c_str());
        std::string command = "\"" + Self() + "\" --hold " + how + " " + id + " \"" +
                              file.string() + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_)) {
            CloseHandle(process_.hThread);
        }
        EXPECT_EQ(WaitForSingleObject(ready_, 20000), WAIT_OBJECT_0) << "the holder never held";
    }
    ~Holder() {
        SetEvent(release_);
        WaitForSingleObject(process_.hProcess, 20000);
        CloseHandle(process_.hProcess);
        CloseHandle(ready_);
        CloseHandle(release_);
    }

private:
    HANDLE ready_, release_;
    PROCESS_INFORMATION process_ = {};
};

// The --hold side.
int Hold(const std::string& how, const std::string& id, const std::string& file) {
    const bool unshared = how == "unshared";
    const HANDLE h = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 unshared ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at = {};
    at.Offset = 30;
    if (!unshared) LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
    SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, ("pexal-ready-" + id).c_str()));
    WaitForSingleObject(OpenEventA(SYNCHRONIZE, FALSE, ("pexal-release-" + id).c_str()), 60000);
    CloseHandle(h);
    return 0;
}

class WindowsPort : public ::testing::Test {
protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        saved_ = base;
        dir_ = fs::path(base) / ("pexal-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        SetEnvironmentVariableA("TMP", dir_.string().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("TMP", saved_.c_str());
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path portFile() const { return dir_ / "dov_port.dat"; }
    std::string bytes() const {
        std::ifstream in(portFile(), std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    void setPort130(char c) const {
        std::ofstream(portFile(), std::ios::binary | std::ios::trunc) << std::string(30, '\0') << c;
    }

    fs::path dir_;
    std::string saved_;
};

TEST_F(WindowsPort, CreatesExtendsAndReadsBeyondTheEndAsEmpty) {
    io::Failure why;
    EXPECT_EQ(io::READ_IO_BYTE(130, &why), 0);
    EXPECT_TRUE(why.ok()) << why.reason;
    EXPECT_EQ(bytes(), "") << "created, empty";
    EXPECT_EQ(io::PortFilePath(), (dir_ / "dov_port.dat").string());
    ASSERT_TRUE(io::WRITE_IO_BYTE(130, 0));
    EXPECT_EQ(bytes(), std::string(31, '\0'));
    ASSERT_TRUE(io::WRITE_IO_BYTE(131, 'B'));
    EXPECT_EQ(io::READ_IO_BYTE(131), 'B');
    EXPECT_EQ(io::READ_IO_BYTE(200), 0);
}

TEST_F(WindowsPort, ALockOrAnUnsharedOpenElsewhereIsBusyAndPassesByItself) {
    setPort130('K');
    for (const char* how : {"lock", "unshared"}) {
        {
            Holder host(portFile(), how);
            io::Failure why;
            EXPECT_EQ(io::TAKE_IO_BYTE(130, &why), 0) << how;
            EXPECT_TRUE(why.busy()) << how << ": " << why.reason;
        }
        EXPECT_EQ(io::READ_IO_BYTE(130), 'K') << how;
    }
    EXPECT_EQ(io::TAKE_IO_BYTE(130), 'K');
    EXPECT_EQ(io::READ_IO_BYTE(130), 0);
}

TEST_F(WindowsPort, TheHostMayDeleteThePortFileWhileASenderHoldsItOpen) {
    io::SenderLock sender;
    ASSERT_TRUE(sender.TryLock(130));
    EXPECT_TRUE(DeleteFileA(portFile().string().c_str())) << GetLastError();
}

TEST_F(WindowsPort, TmpOfAnyLengthIsUsedAsItStandsAndAMissingOneIsAFailure) {
    fs::path deep = dir_;
    while (deep.string().size() <= 200) deep /= std::string(40, 'd');  // MAX_PATH bounds it
    fs::create_directories(deep);
    SetEnvironmentVariableA("TMP", deep.string().c_str());
    ASSERT_TRUE(io::WRITE_IO_BYTE(130, 'L'));
    EXPECT_TRUE(fs::exists(deep / "dov_port.dat"));

    const fs::path missing = dir_ / "missing";
    SetEnvironmentVariableA("TMP", missing.string().c_str());
    io::Failure why;
    EXPECT_FALSE(io::WRITE_IO_BYTE(130, 'M', &why));
    EXPECT_EQ(why.kind, io::FailureKind::kUnusable);
    EXPECT_NE(why.reason.find("does not exist"), std::string::npos) << why.reason;
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(WindowsPort, PollPortPrintsTheWaitingCharacterOnceAndClearsThePort) {
    pexal_test::HeadOnPage head;
    SetPortReport(nullptr);
    setPort130('A');
    PollPort();
    PollPort();
    EXPECT_EQ(head.page.text(), "A");
    EXPECT_EQ(bytes(), std::string(31, '\0'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--hold") return Hold(argv[2], argv[3], argv[4]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
