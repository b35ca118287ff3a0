#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>

#include "port/io.h"
#include "tests/kit.h"

namespace fs = std::filesystem;
using pexal_test::LockHolder;

namespace {

class PortLink : public pexal_test::PortFileTest {};

TEST_F(PortLink, ReadOfMissingFileCreatesItEmptyAndPrivate) {
    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_TRUE(why.ok()) << why.reason;
    EXPECT_EQ(fileBytes(), std::string());
    struct stat info = {};
    ASSERT_EQ(::stat(portFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(PortLink, PortPLivesAtOffsetPMinus100) {
    setPort(130, 65);
    EXPECT_EQ(io::READ_IO_BYTE(130), 65);
    EXPECT_EQ(io::READ_IO_BYTE(131), 0);
    EXPECT_EQ(fileBytes()->size(), 64u) << "a read must not change the file";

    setFileBytes(std::string("\x11\x22", 2));
    EXPECT_EQ(io::READ_IO_BYTE(100), 0x11);
    EXPECT_EQ(io::READ_IO_BYTE(101), 0x22);
}

TEST_F(PortLink, SlotBeyondTheEndReadsAsEmptyPort) {
    setFileBytes(std::string(30, '\x41'));
    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_TRUE(why.ok()) << "a short file is an empty port, not a failure";
}

TEST_F(PortLink, WriteExtendsTheFileWithZerosAndTouchesOnlyItsSlot) {
    setFileBytes("");
    ASSERT_TRUE(io::WRITE_IO_BYTE(130, 0).ok());
    EXPECT_EQ(fileBytes(), std::string(31, '\0'));

    setFileBytes(std::string(40, '\x07'));
    ASSERT_TRUE(io::WRITE_IO_BYTE(130, 0x99).ok());
    std::string expected(40, '\x07');
    expected[30] = '\x99';
    EXPECT_EQ(fileBytes(), expected);

    ASSERT_TRUE(io::WRITE_IO_BYTE(145, 0x55).ok());
    expected.resize(46, '\0');
    expected[45] = '\x55';
    EXPECT_EQ(fileBytes(), expected);
}

TEST_F(PortLink, PortsBelow100HaveNoSlotAndNeverReachTheFile) {
    setPort(130, 65);
    const auto before = fileBytes();
    for (const std::int32_t port : {99, 0, -1, INT32_MIN}) {
        io::Status why;
        EXPECT_EQ(pexal_test::ReadByte(port, &why), 0) << port;
        EXPECT_EQ(why.kind, pexal::Kind::kNoSlot) << port;
        EXPECT_FALSE(io::WRITE_IO_BYTE(port, 1).ok()) << port;
    }
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(PortLink, PathIsTheTemporaryDirectoryWithOneSeparator) {
    EXPECT_EQ(io::add_backslash(""), "");
    EXPECT_EQ(io::add_backslash("/a/b"), "/a/b/");
    EXPECT_EQ(io::add_backslash("/a/b/"), "/a/b/");

    const std::string expected = dir().string() + "/dov_port.dat";
    EXPECT_EQ(io::PortFilePath(), expected);
    ::setenv("TMPDIR", (dir().string() + "/").c_str(), 1);
    EXPECT_EQ(io::PortFilePath(), expected);
}

TEST_F(PortLink, TmpdirIsTakenAsItStandsAndTmpOnlyWhenUnsetOrEmpty) {
    const fs::path missing = dir() / "missing";
    ::setenv("TMPDIR", missing.c_str(), 1);
    EXPECT_EQ(io::PortFilePath(), (missing / "dov_port.dat").string());
    io::Status why;
    EXPECT_FALSE((why = io::WRITE_IO_BYTE(130, 'x')).ok());
    EXPECT_EQ(why.kind, pexal::Kind::kMissing);
    EXPECT_EQ(why.reason, "its directory " + missing.string() + " does not exist");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(io::PortFilePath(), "/tmp/dov_port.dat");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(io::PortFilePath(), "/tmp/dov_port.dat");
}

TEST_F(PortLink, PlantedSymlinkIsNeverFollowed) {
    const fs::path target = dir() / "precious";
    {
        std::ofstream(target, std::ios::binary) << "keep me";
    }
    fs::create_symlink(target, portFile());
    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_EQ(why.kind, pexal::Kind::kUnusable);
    EXPECT_EQ(why.reason, "a symbolic link stands there; it is not followed");
    EXPECT_FALSE((why = io::WRITE_IO_BYTE(100, 'X')).ok());
    EXPECT_EQ(why.path, portFile().string());
    std::ifstream in(target, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep me");
}

TEST_F(PortLink, DirectoryOrFifoAtThePortPathIsAFailureNotAnEmptyPortNorAHang) {
    fs::create_directory(portFile());
    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_EQ(why.kind, pexal::Kind::kUnusable) << why.reason;
    EXPECT_EQ(why.reason, "it is not a regular file");
    EXPECT_FALSE(io::WRITE_IO_BYTE(130, 0).ok());

    fs::remove(portFile());
    ASSERT_EQ(::mkfifo(portFile().c_str(), 0600), 0);
    why = {};
    EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
    EXPECT_EQ(why.kind, pexal::Kind::kUnusable) << why.reason;
    EXPECT_EQ(why.reason, "it is not a regular file");
    EXPECT_EQ(pexal_test::TakeByte(130, &why), 0);
    EXPECT_EQ(why.reason, "it is not a regular file");
    EXPECT_FALSE(io::WRITE_IO_BYTE(130, 'x').ok());
}

TEST_F(PortLink, ConflictingLockOfAnotherProcessFailsTheCallAsBusy) {
    setPort(130, 65);
    {
        LockHolder host(portFile(), 30, /*exclusive=*/true);
        io::Status why;
        EXPECT_EQ(pexal_test::ReadByte(130, &why), 0);
        EXPECT_TRUE(why.busy()) << why.reason;
        EXPECT_EQ(why.reason, "another program holds a lock on it");
        EXPECT_FALSE((why = io::WRITE_IO_BYTE(130, 0)).ok());
        EXPECT_EQ(why.kind, pexal::Kind::kBusy);
        EXPECT_EQ(io::READ_IO_BYTE(131), 0) << "another port's byte is not locked";
        EXPECT_TRUE(io::WRITE_IO_BYTE(131, 1).ok());
    }
    {
        LockHolder reader(portFile(), 30, /*exclusive=*/false);
        EXPECT_EQ(io::READ_IO_BYTE(130), 65) << "readers share";
        EXPECT_FALSE(io::WRITE_IO_BYTE(130, 0).ok()) << "a writer waits for readers";
    }
    EXPECT_TRUE(io::WRITE_IO_BYTE(130, 0).ok());
    EXPECT_EQ(io::READ_IO_BYTE(130), 0);
}

TEST_F(PortLink, AFileThisUserMayOnlyReadIsStillRead) {
    setPort(130, 'A', 31);
    fs::permissions(portFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::create_directory(dir() / "empty");
    fs::permissions(dir() / "empty", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
    const std::string owner = ::getpwuid(::getuid())->pw_name;
    // Root may write any file, so the reader is a child that becomes another user first.
    // The reasons name the owner and mode that stop it.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        io::Status why;
        const std::uint8_t read = pexal_test::ReadByte(130, &why);
        const std::uint8_t taken = pexal_test::TakeByte(130, &why);
        if (read != 'A' || taken != 0) ::_exit(1);
        if (why.reason != "permission denied (owned by " + owner + ", mode 0444)") ::_exit(3);
        ::setenv("TMPDIR", (dir() / "empty").c_str(), 1);
        pexal_test::ReadByte(130, &why);
        ::_exit(why.reason == "it cannot be created: permission denied on " + (dir() / "empty").string() +
                                 " (owned by " + owner + ", mode 0755)"
                    ? 0
                    : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the byte was not read, or a take seemed to work; "
                                         "2: no other user to become; 3, 4: the reasons";
    EXPECT_EQ(portByte(), 'A');

    // A FIFO this user may only read: opened without waiting for a writer, and refused.
    fs::remove(portFile());
    ASSERT_EQ(::mkfifo(portFile().c_str(), 0644), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        ::alarm(10);  // a reader that blocks ends here, and fails
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        io::Status why;
        pexal_test::ReadByte(130, &why);
        ::_exit(why.reason == "it is not a regular file" ? 0 : 1);
    }
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "blocked on, or took, a FIFO";
}

TEST_F(PortLink, EachPortHasASenderLockOfItsOwn) {
    io::SenderLock first130, first131, second130;
    io::Status why;
    ASSERT_TRUE((why = first130.TryLock(130)).ok()) << why.reason;
    EXPECT_TRUE((why = first131.TryLock(131)).ok()) << "senders to two ports do not wait for each other";
    EXPECT_FALSE((why = second130.TryLock(130)).ok());
    EXPECT_TRUE(why.busy()) << why.reason;
    EXPECT_EQ(fileBytes(), "") << "the locks lie beyond the file; nothing is written";
}

// A sender holding its lock moves bytes through the file it holds open, as long as the
// path still names that file; one the host has removed or replaced reaches nobody.
TEST_F(PortLink, AHeldSenderLockMovesBytesInTheFileThePathNamesNow) {
    io::SenderLock lock;
    ASSERT_TRUE(lock.TryLock(130).ok());
    const std::string replacement = (dir() / "new.dat").string();
    const std::function<void()> hostSteps[] = {
        [] {},
        [&] { fs::remove(portFile()); },
        [&] {
            std::ofstream(replacement) << std::string(40, '\0');
            fs::rename(replacement, portFile());
        },
    };
    for (const auto& step : hostSteps) {
        step();
        io::Status why;
        EXPECT_EQ(pexal_test::SwapByte(lock, 130, 0, 'S', &why), 0) << why.reason;
        EXPECT_TRUE(why.ok()) << why.reason;
        EXPECT_EQ(portByte(), 'S');
        EXPECT_EQ(pexal_test::LookByte(lock, 130), 'S');
        EXPECT_EQ(pexal_test::SwapByte(lock, 130, 'X', 0), 'S') << "not ours to take back";
        EXPECT_EQ(pexal_test::SwapByte(lock, 130, 'S', 0), 'S');
        EXPECT_EQ(portByte(), 0);
        EXPECT_EQ(pexal_test::LookByte(lock, 131), 0) << "another port's byte, through its own open";
    }
    LockHolder printer(portFile(), 30, /*exclusive=*/true);
    io::Status why;
    EXPECT_EQ(pexal_test::SwapByte(lock, 130, 0, 'S', &why), 0);
    EXPECT_TRUE(why.busy()) << "the printer's lock on the byte is respected: " << why.reason;
    EXPECT_EQ(portByte(), 0);
}

TEST_F(PortLink, TakeClearsOnlyAWaitingByteAndOnlyWhenItHoldsTheWholeByte) {
    setPort(130, 'T', 40);
    EXPECT_EQ(pexal_test::TakeByte(131), 0) << "an empty port";
    EXPECT_EQ(fileBytes()->size(), 40u) << "taking an empty port writes nothing";
    {
        LockHolder reader(portFile(), 30, /*exclusive=*/false);
        io::Status why;
        EXPECT_EQ(pexal_test::TakeByte(130, &why), 0);
        EXPECT_TRUE(why.busy()) << "a reader's lock keeps the take from starting";
        EXPECT_EQ(static_cast<char>(fileBytes()->at(30)), 'T');
    }
    EXPECT_EQ(pexal_test::TakeByte(130), 'T');
    EXPECT_EQ(fileBytes()->at(30), '\0');
    EXPECT_EQ(pexal_test::TakeByte(130), 0) << "taken once";
    EXPECT_EQ(pexal_test::TakeByte(99), 0);
}

}  // namespace
