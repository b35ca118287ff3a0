// The printer as a native Wayland client, in a real (headless) compositor, looked at
// through the compositor's own screenshot.
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/ink.h"
#include "tests/kit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using pexal_test::AreaOf;
using pexal_test::ScopedEnv;
using pexal_test::Within;

class Wayland : public pexal_test::PortFileTest {};

TEST_F(Wayland, ThePrinterRunsInACompositorAndItsGlyphShowsInTheScreenshot) {
    if (pexal_test::FindProgram("weston").empty() ||
        pexal_test::FindProgram("weston-screenshooter").empty()) {
        GTEST_SKIP() << "needs weston and weston-screenshooter (scripts/deps installs them)";
    }
    const fs::path runtime = dir() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const std::string socket = "pexal-" + std::to_string(::getpid());
    const ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.string());
    pexal_test::Child weston({"/usr/bin/weston", "--backend=headless-backend.so", "--use-pixman",
                              "--socket=" + socket, "--idle-time=0", "--debug"},
                             false, (dir() / "weston.txt").string());
    if (!Within(20s, [&] { return fs::exists(runtime / socket) || weston.Finished(); }) ||
        weston.Finished()) {
        GTEST_SKIP() << "weston could not start here: " << readFile("weston.txt");
    }

    const ScopedEnv display("WAYLAND_DISPLAY", socket);
    std::optional<pexal_test::Child> started;
    {
        const ScopedEnv platform("QT_QPA_PLATFORM", "wayland");
        started.emplace(std::vector<std::string>{PEXAL_PRINTER_PATH}, false,
                        (dir() / "printer.txt").string());
    }
    pexal_test::Child& printer = *started;
    ASSERT_TRUE(Within(30s, [&] { return fs::exists(portFile()) || printer.Finished(); }));
    ASSERT_FALSE(printer.Finished()) << readFile("printer.txt");
    setPort(130, 'W');
    ASSERT_TRUE(Within(10s, [&] { return fileBytes()->at(30) == '\0'; }))
        << "the printer never took the byte: " << readFile("printer.txt");

    QImage shot;
    QRect window;
    const QRect firstCell(24 + 3, 80 + 5, 8, 15);
    const bool seen = Within(20s, [&] {
        fs::remove_all(dir() / "shots");
        fs::create_directory(dir() / "shots");
        pexal_test::Child take({"/bin/sh", "-c", "cd \"$0\" && exec weston-screenshooter",
                                (dir() / "shots").string()},
                               false, (dir() / "screenshooter.txt").string());
        take.Wait();
        for (const auto& file : fs::directory_iterator(dir() / "shots")) {
            shot = QImage(QString::fromStdString(file.path().string()));
        }
        if (shot.isNull()) return false;
        window = AreaOf(shot, qRgb(192, 255, 192));
        return window.size() == QSize(273, 396) &&
               pexal_test::InkIn(shot, firstCell.translated(window.topLeft()), 128);
    });
    if (const auto keep = ScopedEnv::Get("PEXAL_KEEP_SCREENSHOT")) {
        shot.save(QString::fromStdString(*keep));
    }
    EXPECT_TRUE(seen) << "window " << window.width() << "x" << window.height() << " in a "
                      << shot.width() << "x" << shot.height() << " screenshot; screenshooter: "
                      << readFile("screenshooter.txt") << "; printer: " << readFile("printer.txt");
    EXPECT_EQ(shot.pixel(window.topLeft() + QPoint(24 + 150, 80 + 250)) & 0xFFFFFF, 0xFFFFFFu)
        << "the page is white";
}

}  // namespace
