// The printer as a program: one per port file, whatever is started beside it.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <thread>
#include <vector>

#include "tests/kit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using pexal_test::Within;

class PrinterProcess : public pexal_test::PortFileTest {
protected:
    // A printer (offscreen, as the suite runs) whose TMPDIR is `tmpdir`, once polling.
    std::unique_ptr<pexal_test::Child> start(const fs::path& tmpdir, const std::string& log) {
        const pexal_test::ScopedEnv temp("TMPDIR", tmpdir.string());
        return std::make_unique<pexal_test::Child>(std::vector<std::string>{PEXAL_PRINTER_PATH},
                                                   false, (dir() / log).string());
    }
    // The first tick creates the port file.
    static bool Polling(const fs::path& tmpdir) { return fs::exists(tmpdir / "dov_port.dat"); }
};

TEST_F(PrinterProcess, ASecondPrinterForTheSameFileHandsOverAndTheFirstPrintsOn) {
    // However the second names the directory: as it stands, through a symbolic link, or
    // with ".." in it.
    fs::create_directory_symlink(dir(), dir() / "link");
    fs::create_directory(dir() / "sub");
    for (const fs::path& same : {dir(), dir() / "link", dir() / "sub" / ".."}) {
        SCOPED_TRACE(same.string());
        fs::remove(portFile());
        auto first = start(dir(), "first.txt");
        ASSERT_TRUE(Within(30s, [&] { return Polling(dir()) || first->Finished(); }));
        ASSERT_FALSE(first->Finished()) << readFile("first.txt");

        auto second = start(same, "second.txt");
        ASSERT_TRUE(Within(30s, [&] { return second->Finished().has_value(); }));
        EXPECT_EQ(*second->Finished(), 0) << readFile("second.txt");
        EXPECT_NE(readFile("second.txt").find("already printing from "), std::string::npos)
            << readFile("second.txt");

        pexal_test::Child sender({PEXAL_SEND_PATH, "--raw", "--timeout", "10", "abc"});
        EXPECT_EQ(sender.Wait(), 0) << "the first printer took every byte";
        EXPECT_FALSE(first->Finished()) << readFile("first.txt");
    }
}

// A first printer stopped (SIGSTOP) neither answers nor lets go of the file: the second
// waits for it, taking no byte, and hands over once it runs again.
TEST_F(PrinterProcess, ASecondPrinterWaitsForAStoppedFirstAndNeverPrintsBesideIt) {
    auto first = start(dir(), "first.txt");
    ASSERT_TRUE(Within(30s, [&] { return Polling(dir()) || first->Finished(); }));
    ::kill(first->pid(), SIGSTOP);
    auto second = start(dir(), "second.txt");
    EXPECT_TRUE(Within(30s, [&] { return readFile("second.txt").find("does not answer") != std::string::npos; }));
    setPort(130, 'x');
    std::this_thread::sleep_for(1500ms);  // ticks enough for a printer to have taken it
    EXPECT_EQ(portByte(), 'x') << "the second printer printed beside the first";
    ::kill(first->pid(), SIGCONT);
    EXPECT_EQ(second->Wait(), 0) << readFile("second.txt");
    EXPECT_TRUE(Within(10s, [&] { return portByte() == 0; })) << "the first prints on";
    EXPECT_FALSE(first->Finished());
}

TEST_F(PrinterProcess, PrintersForDifferentPortFilesRunSideBySide) {
    // Names that are not text stay apart too: they differ in their bytes. And the roots of
    // two file systems, which share an inode number, are two directories (where this
    // machine lets the suite mount them).
    std::vector<std::pair<std::string, std::string>> pairs = {{"a", "b"}, {"nu\xff", "nu\xfe"}};
    const auto mounted = [&](const char* name) {
        fs::create_directory(dir() / name);
        return pexal_test::Capture("mount -t tmpfs -o size=1m tmpfs '" + (dir() / name).string() +
                                   "' 2>/dev/null && echo ok") == "ok";
    };
    if (::geteuid() == 0 && mounted("fs1") && mounted("fs2")) pairs.emplace_back("fs1", "fs2");
    for (const auto& [one, other] : pairs) {
        fs::create_directories(dir() / one);
        fs::create_directories(dir() / other);
        auto a = start(dir() / one, "a.txt");
        auto b = start(dir() / other, "b.txt");
        EXPECT_TRUE(Within(30s, [&] { return Polling(dir() / one) && Polling(dir() / other); }))
            << readFile("a.txt") << readFile("b.txt");
        EXPECT_FALSE(a->Finished()) << readFile("a.txt");
        EXPECT_FALSE(b->Finished()) << readFile("b.txt");
    }
    for (const char* name : {"fs1", "fs2"}) {
        pexal_test::Capture("umount '" + (dir() / name).string() + "' 2>/dev/null");
    }
}

// Settings it cannot work with: one line that says so (with what the variable holds shown
// as paths are), and exit 1 before anything grows.
TEST_F(PrinterProcess, WithoutADisplayOrWithAnAbsurdScaleItSaysSoInOneLineAndExits1) {
    const struct {
        const char* name;
        const char* value;
        const char* says;
    } cases[] = {
        {"DISPLAY", ":999999\x1b[31m", "pexal-printer: needs a graphical display"},  // no such server
        {"QT_SCALE_FACTOR", "1000", "pexal-printer: QT_SCALE_FACTOR=1000 asks for a window far larger"},
        {"QT_FONT_DPI", "100000", "pexal-printer: QT_FONT_DPI=100000 asks for a window far larger"},
        {"QT_SCREEN_SCALE_FACTORS", "1;DP-1=1000", "pexal-printer: QT_SCREEN_SCALE_FACTORS=1;DP-1=1000 asks"},
        {"QT_SCALE_FACTOR", "0", "pexal-printer: QT_SCALE_FACTOR=0 is no scale a window can be drawn at"},
        {"QT_SCALE_FACTOR", "nan", "pexal-printer: QT_SCALE_FACTOR=nan is no scale"},
        {"QT_SCREEN_SCALE_FACTORS", "1e-9", "pexal-printer: QT_SCREEN_SCALE_FACTORS=1e-9 is no scale"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<pexal_test::Child> printer;
        {
            const pexal_test::ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
            const pexal_test::ScopedEnv display("DISPLAY", ":999999");
            const pexal_test::ScopedEnv setting(c.name, c.value);
            printer = start(dir(), "errors.txt");
        }
        ASSERT_TRUE(Within(30s, [&] { return printer->Finished().has_value(); }));
        EXPECT_EQ(*printer->Finished(), 1);
        const std::string errors = readFile("errors.txt");
        EXPECT_EQ(errors.rfind(c.says, 0), 0u) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(errors.find('\x1b'), std::string::npos) << errors;
    }
}

// One printer per port file for as long as they run, whatever happens to the directory:
// made after the printers start (by any spelling), renamed under a running printer,
// mounted over, swapped with another printer's again and again; and a name another user
// holds does not stop a printer, even one that says it serves the file.
TEST_F(PrinterProcess, OnePrinterPerFileFollowsTheDirectoryAndBelievesOnlyItsOwnUser) {
    const auto running = [](const std::vector<std::unique_ptr<pexal_test::Child>>& printers) {
        return std::count_if(printers.begin(), printers.end(), [](const auto& p) { return !p->Finished(); });
    };
    {  // made later: the one started first moves its claim there, the other stops
        std::vector<std::unique_ptr<pexal_test::Child>> printers;
        printers.push_back(start(dir() / "later", "later1.txt"));
        printers.push_back(start(dir() / "." / "later", "later2.txt"));
        std::this_thread::sleep_for(1500ms);  // both poll a directory that is not there
        fs::create_directory(dir() / "later");
        printers.push_back(start(dir() / "later", "later3.txt"));
        EXPECT_TRUE(Within(30s, [&] { return running(printers) == 1 && Polling(dir() / "later"); }))
            << readFile("later1.txt") << readFile("later2.txt") << readFile("later3.txt");
    }
    {  // renamed: the directory's new name gets a printer of its own
        fs::create_directory(dir() / "old");
        std::vector<std::unique_ptr<pexal_test::Child>> printers;
        printers.push_back(start(dir() / "old", "old.txt"));
        ASSERT_TRUE(Within(30s, [&] { return Polling(dir() / "old"); }));
        fs::rename(dir() / "old", dir() / "new");
        printers.push_back(start(dir() / "new", "new.txt"));
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(running(printers), 2) << readFile("new.txt");
    }
    {  // swapped with another's every 5 to 30 ms: each stops only for a file really served
        std::vector<std::unique_ptr<pexal_test::Child>> printers;
        for (const char* name : {"x", "y"}) fs::create_directory(dir() / name), printers.push_back(start(dir() / name, "log"));
        ASSERT_TRUE(Within(30s, [&] { return Polling(dir() / "x") && Polling(dir() / "y"); }));
        std::mt19937 random(7);
        for (const auto end = std::chrono::steady_clock::now() + 4s; std::chrono::steady_clock::now() < end;) {
            ::renameat2(AT_FDCWD, (dir() / "x").c_str(), AT_FDCWD, (dir() / "y").c_str(), RENAME_EXCHANGE);
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 26));
        }
        std::this_thread::sleep_for(3s);  // two looks a second apart after the last swap
        EXPECT_EQ(running(printers), 2) << readFile("log");
    }
    fs::create_directory(dir() / "mnt");
    const std::string mount = "mount -t tmpfs -o size=1m tmpfs '" + (dir() / "mnt").string() + "'";
    std::vector<std::unique_ptr<pexal_test::Child>> printers;
    printers.push_back(start(dir() / "mnt", "mnt1.txt"));
    ASSERT_TRUE(Within(30s, [&] { return Polling(dir() / "mnt"); }));
    if (::geteuid() == 0 && pexal_test::Capture(mount + " 2>/dev/null && echo ok") == "ok") {
        // mounted over: the running printer follows, and a new one meets it there
        std::this_thread::sleep_for(1500ms);
        printers.push_back(start(dir() / "mnt", "mnt2.txt"));
        EXPECT_TRUE(Within(30s, [&] { return running(printers) == 1 && Polling(dir() / "mnt"); }))
            << readFile("mnt1.txt") << readFile("mnt2.txt");
        printers.clear();
        pexal_test::Capture("umount '" + (dir() / "mnt").string() + "' 2>/dev/null");
    }
    printers.clear();
    if (::geteuid() == 0) {  // another user listens where printers of this file meet
        fs::create_directory(dir() / "held");
        struct stat info = {};
        ::stat((dir() / "held").c_str(), &info);
        const std::string identity = "inode " + std::to_string(info.st_dev) + ":" +
                                     std::to_string(info.st_ino) + "/dov_port.dat";
        pexal_test::Child squatter({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                    "/usr/bin/python3", "-c",
                                    "import hashlib,socket,sys,time\n"
                                    "s=socket.socket(socket.AF_UNIX)\n"
                                    "s.bind(b'\\0pexal-printer-'+hashlib.sha256(sys.argv[1].encode()).hexdigest()[:32].encode())\n"
                                    "s.listen(8); print('listening', file=sys.stderr, flush=True)\n"
                                    "s.settimeout(30)\n"
                                    "while True: c,_=s.accept(); c.send(b'1'); c.close()",
                                    identity},
                                   false, (dir() / "squatter.txt").string());
        ASSERT_TRUE(Within(30s, [&] { return readFile("squatter.txt").find("listening") != std::string::npos; }));
        auto printer = start(dir() / "held", "held.txt");
        EXPECT_TRUE(Within(30s, [&] { return Polling(dir() / "held") || printer->Finished(); }));
        EXPECT_FALSE(printer->Finished()) << readFile("held.txt");
        EXPECT_NE(readFile("held.txt").find("another program holds the name printers meet by"), std::string::npos)
            << readFile("held.txt");
    }
}

}  // namespace
