// The Windows port link and poll cycle, run under Windows (or Wine): a private TMP per
// test, and another process that holds the port file locked or open without sharing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "port/io.h"
#include "port/poll_port.h"
#include "tests/kit.h"

namespace fs = std::filesystem;

namespace {

using pexal_test::LockHolder;
using pexal_test::ScopedEnv;

class WindowsPort : public pexal_test::PortFileTest {};

TEST_F(WindowsPort, CreatesExtendsAndReadsBeyondTheEndAsEmpty) {
    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_TRUE(why.ok()) << why.reason;
    EXPECT_EQ(fileBytes(), "") << "created, empty";
    EXPECT_EQ(io::PortFilePath(), portFile().string());
    ASSERT_TRUE(io::WRITE_IO_BYTE(130, 0).ok());
    EXPECT_EQ(fileBytes(), std::string(31, '\0'));
    ASSERT_TRUE(io::WRITE_IO_BYTE(131, 'B').ok());
    EXPECT_EQ(io::READ_IO_BYTE(131), 'B');
    EXPECT_EQ(io::READ_IO_BYTE(200), 0);
}

TEST_F(WindowsPort, ALockOrAnUnsharedOpenElsewhereIsBusyAndPassesByItself) {
    setPort(130, 'K', 31);
    const struct {
        std::int64_t offset;  // a lock on the slot; an unshared open
        const char* says;
    } holders[] = {{30, "another program holds a lock on it"},
                   {-1, "another program has it open and shares it with nobody"}};
    for (const auto [offset, says] : holders) {
        {
            LockHolder host(portFile(), offset, /*exclusive=*/true);
            io::Status why;
            EXPECT_EQ(pexal_test::TakeByte(130, &why), 0) << offset;
            EXPECT_TRUE(why.busy()) << offset << ": " << why.reason;
            EXPECT_EQ(why.reason, says);
        }
        EXPECT_EQ(io::READ_IO_BYTE(130), 'K') << offset;
    }
    EXPECT_EQ(pexal_test::TakeByte(130), 'K');
    EXPECT_EQ(io::READ_IO_BYTE(130), 0);
}

TEST_F(WindowsPort, TheHostMayDeleteThePortFileWhileASenderHoldsItOpen) {
    io::SenderLock sender;
    ASSERT_TRUE(sender.TryLock(130).ok());
    EXPECT_TRUE(DeleteFileA(portFile().string().c_str())) << GetLastError();
}

TEST_F(WindowsPort, TmpOfAnyLengthIsUsedAsItStandsAndAMissingOneIsAFailure) {
    fs::path deep = dir();
    while (deep.string().size() <= 200) deep /= std::string(40, 'd');  // MAX_PATH bounds it
    fs::create_directories(deep);
    {
        const ScopedEnv tmp("TMP", deep.string());
        ASSERT_TRUE(io::WRITE_IO_BYTE(130, 'L').ok());
        EXPECT_TRUE(fs::exists(deep / "dov_port.dat"));
    }
    const fs::path missing = dir() / "missing";
    const ScopedEnv tmp("TMP", missing.string());
    io::Status why;
    EXPECT_FALSE((why = io::WRITE_IO_BYTE(130, 'M')).ok());
    EXPECT_EQ(why.kind, pexal::Kind::kMissing);
    EXPECT_NE(why.reason.find("does not exist"), std::string::npos) << why.reason;
    EXPECT_FALSE(fs::exists(missing));
}

// The reasons say what to mend, in the POSIX side's words, as far as Wine can make them.
TEST_F(WindowsPort, AnUnusablePortFileSaysWhatToMend) {
    const fs::path plain = dir() / "plain";
    setFileBytes("");
    fs::copy_file(portFile(), plain);
    const std::string readOnly = "permission denied";
    const struct {
        const char* what;
        fs::path tmp;
        pexal::Kind kind;
        std::string says;
    } cases[] = {
        {"a directory at the path", dir(), pexal::Kind::kUnusable, "it is not a regular file"},
        {"TMP names a file", plain, pexal::Kind::kUnusable, "is not a directory"},
        {"a read-only file", dir(), pexal::Kind::kUnusable, readOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(portFile());
        if (c.says == "it is not a regular file") fs::create_directory(portFile());
        if (c.says == readOnly) {
            setPort(130, 'R', 31);
            ASSERT_TRUE(SetFileAttributesA(portFile().string().c_str(), FILE_ATTRIBUTE_READONLY));
            EXPECT_EQ(io::READ_IO_BYTE(130), 'R') << "a file that can only be read is still read";
            // Wine leaves the check to the file system, which lets root write anyway.
            const HANDLE writable = CreateFileA(portFile().string().c_str(), GENERIC_WRITE, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr);
            if (writable != INVALID_HANDLE_VALUE) {
                CloseHandle(writable);
                continue;
            }
        }
        const ScopedEnv tmp("TMP", c.tmp.string());
        io::Status why;
        EXPECT_FALSE((why = io::WRITE_IO_BYTE(130, 'W')).ok());
        EXPECT_EQ(why.kind, c.kind) << why.reason;
        EXPECT_NE(why.reason.find(c.says), std::string::npos) << why.reason;
        std::printf("%s: %s\n", c.what, why.reason.c_str());
    }
    SetFileAttributesA(portFile().string().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsPort, PollPortPrintsTheWaitingCharacterOnceAndClearsThePort) {
    pexal_test::HeadOnPage head;
    setPort(130, 'A', 31);
    PollPort();
    PollPort();
    EXPECT_EQ(head.page.text(), "A");
    EXPECT_EQ(fileBytes(), std::string(31, '\0'));
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto helper = pexal_test::RunHelper(argc, argv)) return *helper;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
