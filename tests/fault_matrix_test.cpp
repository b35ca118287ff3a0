// The poll cycle against a port file in trouble: what is printed, what the file holds,
// what standard error hears, and that one tick after the trouble ends it prints again.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "port/io.h"
#include "port/poll_port.h"
#include "tests/kit.h"

namespace fs = std::filesystem;
using pexal_test::LockHolder;

namespace {

class FaultMatrix : public pexal_test::PollTest {
protected:
    // The host stores `c` in port 130 of the file at `path`; one tick must print it.
    void expectRecoveryWithin1Tick(const fs::path& path, char c) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(30, '\0') << c;
        const std::size_t before = printed->text().size();
        ticks(1);
        EXPECT_EQ(printed->text().substr(before), std::string(1, c));
        EXPECT_EQ(io::READ_IO_BYTE(130), 0);
    }
    static bool Root() { return ::geteuid() == 0; }
};

TEST_F(FaultMatrix, MissingPortFileIsCreatedEmptyAndThenServes) {
    ticks(3);
    EXPECT_EQ(printed->text(), "");
    EXPECT_EQ(fileBytes(), std::string());
    EXPECT_EQ(reportLines(), 0) << "a missing file is no failure";
    expectRecoveryWithin1Tick(portFile(), 'a');
}

TEST_F(FaultMatrix, MissingTemporaryDirectoryIsAFailureNeverASwitchToTmp) {
    SKIP_IF_SHARED_PORT_FILE_EXISTS();
    const fs::path missing = dir() / "missing";
    ::setenv("TMPDIR", missing.c_str(), 1);  // at start-up, and as if removed mid-run
    ticks(10);
    EXPECT_EQ(reportLines(), 1) << report.str();
    EXPECT_NE(report.str().find("its directory " + missing.string() + " does not exist"),
              std::string::npos)
        << report.str();
    EXPECT_FALSE(pexal_test::SharedPortFileExists()) << "the printer moved to /tmp";

    fs::create_directory(missing);  // the directory comes back: it is used at once
    expectRecoveryWithin1Tick(missing / "dov_port.dat", 'c');
    EXPECT_EQ(reportLines(), 2) << report.str();
    EXPECT_FALSE(pexal_test::SharedPortFileExists());
}

TEST_F(FaultMatrix, UnwritableDirectoryOrFileBlocksPrintingUntilMended) {
    if (Root()) GTEST_SKIP() << "permission bits do not stop root; the lock cases cover this";
    fs::permissions(dir(), fs::perms::owner_read | fs::perms::owner_exec);
    ticks(5);
    EXPECT_EQ(reportLines(), 1) << report.str();
    EXPECT_NE(report.str().find("permission denied on " + dir().string() + " (owned by "),
              std::string::npos)
        << "the create's reason, not the read-only retry's: " << report.str();
    fs::permissions(dir(), fs::perms::owner_all);
    expectRecoveryWithin1Tick(portFile(), 'd');

    setPort(130, 'e');
    fs::permissions(portFile(), fs::perms::owner_read);
    ticks(5);
    EXPECT_EQ(printed->text(), "d") << "a character that cannot be cleared is not printed";
    fs::permissions(portFile(), fs::perms::owner_read | fs::perms::owner_write);
    ticks(2);
    EXPECT_EQ(printed->text(), "de");
}

// A file system mounted read-only: nothing can be cleared there, and so the port file does
// not "work again" merely because its port reads empty; it does once it can be written.
TEST_F(FaultMatrix, AReadOnlyFileSystemWorksAgainOnlyOnceAByteCanBeCleared) {
    const fs::path mount = dir() / "ro";
    fs::create_directory(mount);
    const auto remount = [&](const char* how) {
        return pexal_test::Capture("mount -o remount," + std::string(how) + " '" + mount.string() + "' 2>&1 && echo done") == "done";
    };
    if (!Root() || pexal_test::Capture("mount -t tmpfs -o size=1m tmpfs '" + mount.string() + "' 2>&1 && echo done") != "done") {
        GTEST_SKIP() << "needs root to mount a file system it can make read-only";
    }
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
        &mount, [](const fs::path* at) { pexal_test::Capture("umount '" + at->string() + "'"); });
    ::setenv("TMPDIR", mount.c_str(), 1);
    std::ofstream(mount / "dov_port.dat", std::ios::binary) << std::string(31, '\0') << 'Z' << std::string(32, '\0');
    ASSERT_TRUE(remount("ro"));
    ticks(10);
    EXPECT_EQ(reportLines(), 1) << report.str();
    EXPECT_NE(report.str().find("read-only file system"), std::string::npos) << report.str();
    // A sender is told at once, not after waiting out a byte nobody can clear.
    pexal_test::Child sender({PEXAL_SEND_PATH, "--port", "131", "--timeout", "30", "x"}, false, errorsFile());
    EXPECT_EQ(sender.Wait(), 4);
    EXPECT_NE(errors().find("read-only file system"), std::string::npos) << errors();
    ASSERT_TRUE(remount("rw"));
    expectRecoveryWithin1Tick(mount / "dov_port.dat", 'r');
    EXPECT_EQ(reportLines(), 2) << report.str();
}

TEST_F(FaultMatrix, SymbolicLinkAtThePortPathIsNeverFollowed) {
    const fs::path target = dir() / "elsewhere.dat";
    std::string targetBytes(40, '\0');
    targetBytes[30] = 'X';
    std::ofstream(target, std::ios::binary) << targetBytes;
    fs::create_symlink(target, portFile());
    ticks(5);
    EXPECT_EQ(printed->text(), "");
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), targetBytes);
    EXPECT_EQ(reportLines(), 1) << report.str();

    fs::remove(portFile());
    expectRecoveryWithin1Tick(portFile(), 'f');
    EXPECT_EQ(reportLines(), 2) << report.str();
}

TEST_F(FaultMatrix, PortFileDeletedAndRecreatedWhilePolling) {
    setPort(130, 'g');
    ticks(1);
    fs::remove(portFile());
    ticks(2);
    EXPECT_EQ(fileBytes(), std::string()) << "recreated empty";
    expectRecoveryWithin1Tick(portFile(), 'h');
    EXPECT_EQ(printed->text(), "gh");
    EXPECT_EQ(reportLines(), 0);
}

TEST_F(FaultMatrix, TruncatedPortFileIsAnEmptyPortAndStaysAsItIs) {
    setPort(130, 'i');
    fs::resize_file(portFile(), 20);
    ticks(3);
    EXPECT_EQ(printed->text(), "");
    EXPECT_EQ(fileBytes()->size(), 20u) << "reading must not extend the file";
    EXPECT_EQ(reportLines(), 0);
    expectRecoveryWithin1Tick(portFile(), 'j');
}

TEST_F(FaultMatrix, LockHeldByAnotherProcessDelaysButNeverLosesTheCharacter) {
    setPort(130, 'k');
    {
        LockHolder host(portFile(), 30, /*exclusive=*/true);
        ticks(4);
        EXPECT_EQ(reportLines(), 0) << "a lock shorter than a second is no news";
        ticks(6);  // two seconds in all
        EXPECT_EQ(printed->text(), "");
        EXPECT_EQ(static_cast<char>(fileBytes()->at(30)), 'k');
        EXPECT_EQ(reportLines(), 1) << report.str();
        EXPECT_NE(report.str().find("another program holds a lock on it"), std::string::npos);
    }
    ticks(1);
    EXPECT_EQ(printed->text(), "k");
    EXPECT_EQ(fileBytes()->at(30), '\0');
    EXPECT_EQ(reportLines(), 2) << report.str();
}

TEST_F(FaultMatrix, AnyFormOfTmpdirNamesTheSameKindOfPlace) {
    ::setenv("TMPDIR", (dir().string() + "/").c_str(), 1);
    expectRecoveryWithin1Tick(portFile(), 'l');

    const fs::path cwd = fs::current_path();
    fs::create_directory(dir() / "relative");
    fs::current_path(dir());
    ::setenv("TMPDIR", "relative", 1);
    expectRecoveryWithin1Tick(dir() / "relative" / "dov_port.dat", 'm');
    fs::current_path(cwd);

    fs::path deep = dir();
    while (deep.string().size() <= 520) deep /= std::string(60, 'd');
    fs::create_directories(deep);
    ::setenv("TMPDIR", deep.c_str(), 1);
    EXPECT_EQ(io::PortFilePath(), (deep / "dov_port.dat").string());
    expectRecoveryWithin1Tick(deep / "dov_port.dat", 'n');
    EXPECT_EQ(printed->text(), "lmn");
    EXPECT_EQ(reportLines(), 0);
}

}  // namespace
