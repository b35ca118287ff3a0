// The real program on a virtual X display, looked at the way a person would: a screenshot.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "support.h"

using pexal_test::Finished;

namespace {

using Clock = std::chrono::steady_clock;

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return "";
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        ::pclose(pipe);
    }
    return out;
}

template <typename Pred>
bool PollFor(Pred pred, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class RealWindow : public pexal_test::PortFileTest {
protected:
    void TearDown() override {
        for (auto* child : {&printer, &xserver}) {
            if (child->pid > 0) {
                ::kill(child->pid, SIGTERM);
                pexal_test::Wait(*child);
            }
        }
        if (displayPipe >= 0) ::close(displayPipe);
        PortFileTest::TearDown();
    }

    // Starts Xvfb on a free display and returns its number, or -1.
    int startXvfb(const std::string& xvfb) {
        int fds[2];
        if (::pipe(fds) != 0) return -1;
        xserver.pid = ::fork();
        if (xserver.pid == 0) {
            ::close(fds[0]);
            const int log = ::open((dir() / "xvfb-stderr.txt").c_str(), O_WRONLY | O_CREAT, 0600);
            ::dup2(log, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
                    "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // Kept open while the server runs: Xvfb may write its number again, and a
        // closed pipe would kill it.
        displayPipe = fds[0];
        char text[16] = {};
        const ssize_t n = ::read(displayPipe, text, sizeof text - 1);
        return n > 0 ? std::atoi(text) : -1;
    }

    std::string windowId() {
        const std::string tree = Capture("xwininfo -root -tree 2>/dev/null");
        std::istringstream lines(tree);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("(\"pexal-printer\"") == std::string::npos) continue;
            if (line.find("273x396") == std::string::npos) continue;
            std::istringstream words(line);
            std::string id;
            words >> id;
            return id;
        }
        return "";
    }

    QImage screenshot(const std::string& id) {
        const std::string file = (dir() / "shot.png").string();
        Capture("import -window " + id + " png:" + file + " 2>/dev/null");
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    }

    pexal_test::ChildProcess printer, xserver;
    int displayPipe = -1;
};

TEST_F(RealWindow, ScreenshotShowsTheDressedPageWithAPrintedGlyph) {
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty() || FindProgram("import").empty() || FindProgram("xwininfo").empty()) {
        GTEST_SKIP() << "needs Xvfb, xwininfo and ImageMagick's import (scripts/deps installs them)";
    }
    const int display = startXvfb(xvfb);
    ASSERT_GE(display, 0) << "Xvfb did not start";

    const std::string savedPlatform = std::getenv("QT_QPA_PLATFORM");
    ::setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string printerErrors = (dir() / "printer-stderr.txt").string();
    printer = pexal_test::Spawn({PEXAL_PRINTER_PATH}, false, printerErrors);
    ::setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);

    std::string id;
    std::optional<int> exited;
    ASSERT_TRUE(PollFor([&] { return !(id = windowId()).empty() || (exited = Finished(printer)); },
                        std::chrono::seconds(30)))
        << "the window never appeared; windows: " << Capture("xwininfo -root -tree 2>&1")
        << "printer says: " << Capture("cat " + printerErrors);
    ASSERT_FALSE(exited) << "the printer exited with " << *exited << ": "
                         << Capture("cat " + printerErrors) << "\nXvfb says: "
                         << Capture("cat " + (dir() / "xvfb-stderr.txt").string());
    setPort(130, 'W');
    ASSERT_TRUE(PollFor([&] { return fileBytes()->at(30) == '\0'; }, std::chrono::seconds(10)))
        << "the printer never took the byte";

    const QRect firstCell(24 + 3, 80 + 5, 8, 15);
    QImage shot;
    auto glyphShown = [&] {
        shot = screenshot(id);
        if (shot.size() != QSize(273, 396)) return false;
        for (int y = firstCell.top(); y <= firstCell.bottom(); ++y) {
            for (int x = firstCell.left(); x <= firstCell.right(); ++x) {
                if (qGray(shot.pixel(x, y)) < 128) return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(PollFor(glyphShown, std::chrono::seconds(10))) << "no glyph in the first cell";

    const QRgb green = qRgb(192, 255, 192), white = qRgb(255, 255, 255);
    EXPECT_EQ(shot.pixel(4, 60), green) << "window background";
    EXPECT_EQ(shot.pixel(268, 200), green) << "right margin beside the holes";
    EXPECT_EQ(shot.pixel(24 + 150, 80 + 250), white) << "the page";
    for (int top = 80; top <= 368; top += 16) {
        EXPECT_EQ(shot.pixel(8 + 4, top + 4), white) << "left hole at " << top;
        EXPECT_EQ(shot.pixel(256 + 4, top + 4), white) << "right hole at " << top;
        EXPECT_LT(qGray(shot.pixel(8 + 4, top)), 160) << "hole outline at " << top;
    }
    for (int y : {72, 384}) {
        EXPECT_LT(qGray(shot.pixel(16 * 5 + 4, y)), 64) << "dash at y " << y;
        EXPECT_EQ(shot.pixel(16 * 5 + 12, y), green) << "gap at y " << y;
    }
}

}  // namespace
