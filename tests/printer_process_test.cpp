// The printer as a program: one per port file, whatever is started beside it.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

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

TEST_F(PrinterProcess, PrintersForDifferentPortFilesRunSideBySide) {
    // Names that are not text stay apart too: they differ in their bytes.
    const std::pair<std::string, std::string> pairs[] = {{"a", "b"}, {"nu\xff", "nu\xfe"}};
    for (const auto& [one, other] : pairs) {
        fs::create_directory(dir() / one);
        fs::create_directory(dir() / other);
        auto a = start(dir() / one, "a.txt");
        auto b = start(dir() / other, "b.txt");
        EXPECT_TRUE(Within(30s, [&] { return Polling(dir() / one) && Polling(dir() / other); }))
            << readFile("a.txt") << readFile("b.txt");
        EXPECT_FALSE(a->Finished()) << readFile("a.txt");
        EXPECT_FALSE(b->Finished()) << readFile("b.txt");
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

}  // namespace
