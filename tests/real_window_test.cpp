// The real program on a virtual X display, looked at the way a person would: a screenshot.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "tests/ink.h"
#include "tests/kit.h"

namespace fs = std::filesystem;

namespace {
using pexal_test::Capture;
using pexal_test::FindProgram;
using pexal_test::ScopedEnv;

// Runs only on the virtual display of scripts/xvfb-session, as CTest starts it.
class RealWindow : public pexal_test::PortFileTest {
protected:
    // The printer's window (but `other`).
    std::string windowId(const std::string& other = "") {
        const std::string tree = Capture("xwininfo -root -tree 2>/dev/null");
        std::istringstream lines(tree);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("(\"pexal-printer\"") == std::string::npos) continue;
            if (line.find("273x396") == std::string::npos) continue;
            std::istringstream words(line);
            std::string id;
            if ((words >> id) && id != other) return id;
        }
        return "";
    }

    QImage screenshot(const std::string& id) {
        const std::string file = (dir() / "shot.png").string();
        Capture("import -window " + id + " png:" + file + " 2>/dev/null");
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    }

    // Starts the printer on the X display, with standard error as `mode` says.
    void startPrinter(pexal_test::Stderr mode = pexal_test::Stderr::kAsNamed,
                      std::vector<std::string> arguments = {}) {
        const ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
        arguments.insert(arguments.begin(), PEXAL_PRINTER_PATH);
        printer.emplace(arguments, false,
                        mode == pexal_test::Stderr::kAsNamed
                            ? (dir() / "printer-stderr.txt").string()
                            : "",
                        mode);
    }
    bool onVirtualDisplay() const { return ScopedEnv::Get("PEXAL_VIRTUAL_DISPLAY").has_value(); }

    std::optional<pexal_test::Child> printer;
};

TEST_F(RealWindow, ScreenshotShowsTheDressedPageWithAPrintedGlyph) {
    if (!onVirtualDisplay()) {
        GTEST_SKIP() << "runs on the display of scripts/xvfb-session (CTest starts it so)";
    }
    if (FindProgram("import").empty() || FindProgram("xwininfo").empty()) {
        GTEST_SKIP() << "needs xwininfo and ImageMagick's import (scripts/deps installs them)";
    }
    // The printer takes no arguments, Qt's own among them; with no session bus it has none
    // launched for it, which would outlive it and write in the home folder.
    {
        const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt), home("HOME", dir().string());
        startPrinter(pexal_test::Stderr::kAsNamed, {"-qwindowtitle", "Bogus"});
    }

    std::string id;
    std::optional<int> exited;
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(30), [&] {
        return !(id = windowId()).empty() || (exited = printer->Finished());
    }))
        << "the window never appeared; windows: " << Capture("xwininfo -root -tree 2>&1")
        << "printer says: " << readFile("printer-stderr.txt");
    ASSERT_FALSE(exited) << "the printer exited with " << *exited << ": "
                         << readFile("printer-stderr.txt");
    const std::string tree = Capture("xwininfo -root -tree 2>/dev/null");
    EXPECT_NE(tree.find(id + " \"Pexal Printer\""), std::string::npos) << tree;
    EXPECT_EQ(tree.find("Bogus"), std::string::npos) << tree;
    setPort(130, 'W');
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(10),
                                   [&] { return fileBytes()->at(30) == '\0'; }))
        << "the printer never took the byte";

    const QRect firstCell(24 + 3, 80 + 5, 8, 15);
    QImage shot;
    auto glyphShown = [&] {
        shot = screenshot(id);
        return shot.size() == QSize(273, 396) && pexal_test::InkIn(shot, firstCell, 128);
    };
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(10), glyphShown)) << "no glyph in the first cell";

    EXPECT_FALSE(std::filesystem::exists(dir() / ".dbus")) << "a session bus was launched";
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

// A second printer for the same file hands over: the one running comes to the front, over
// a window that covered it.
TEST_F(RealWindow, ASecondPrinterBringsTheRunningOneToTheFront) {
    if (!onVirtualDisplay()) GTEST_SKIP() << "runs on the display of scripts/xvfb-session";
    startPrinter();
    std::string first, other;
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(30), [&] { return !(first = windowId()).empty(); }));
    fs::create_directory(dir() / "other");
    std::optional<pexal_test::Child> covering;
    {
        const ScopedEnv platform("QT_QPA_PLATFORM", "xcb"), temp("TMPDIR", (dir() / "other").string());
        covering.emplace(std::vector<std::string>{PEXAL_PRINTER_PATH});
    }
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(30), [&] { return !(other = windowId(first)).empty(); }));
    const auto firstOnTop = [&] {  // the root's children are listed top first
        const std::string tree = Capture("xwininfo -root -children 2>/dev/null");
        return tree.find(first + " \"") < tree.find(other + " \"");
    };
    ASSERT_FALSE(firstOnTop()) << "the later window stands above";
    pexal_test::Child second({PEXAL_PRINTER_PATH}, false, errorsFile());
    EXPECT_EQ(second.Wait(), 0) << errors();
    EXPECT_TRUE(pexal_test::Within(std::chrono::seconds(10), firstOnTop)) << Capture("xwininfo -root -children");
}

// Closed, standard error's number would go to the display connection and the reports
// into the X stream; as a pipe nobody reads, the first report would kill the printer.
TEST_F(RealWindow, ClosedOrDeadStandardErrorNeverStopsThePrinter) {
    if (!onVirtualDisplay()) {
        GTEST_SKIP() << "runs on the display of scripts/xvfb-session (CTest starts it so)";
    }
    for (const auto mode : {pexal_test::Stderr::kClosed, pexal_test::Stderr::kDeadPipe}) {
        SCOPED_TRACE(mode == pexal_test::Stderr::kClosed ? "closed" : "dead pipe");
        fs::create_directory(portFile());  // unusable: a report after a second
        startPrinter(mode);
        for (const char c : {'A', 'B'}) {
            // A fixed wait: the printer reports only after a second of failing ticks.
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            ASSERT_FALSE(printer->Finished()) << "the printer died at its report";
            fs::remove(portFile());
            setPort(130, static_cast<std::uint8_t>(c));  // works again: the second report
            ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(10),
                                           [&] { return fileBytes()->at(30) == '\0'; }))
                << "the printer stopped polling after its reports";
            fs::remove(portFile());
            fs::create_directory(portFile());
        }
        printer.reset();
        fs::remove(portFile());
    }
}

// The page as a screen reader meets it: an AT-SPI client in a private D-Bus session
// reads what the port file printed, and "New page" empties it.
TEST_F(RealWindow, AScreenReaderReadsThePageAsText) {
    if (!onVirtualDisplay()) {
        GTEST_SKIP() << "runs on the display of scripts/xvfb-session (CTest starts it so)";
    }
    if (FindProgram("dbus-run-session").empty()) {
        GTEST_SKIP() << "needs dbus-run-session (package dbus-daemon; scripts/deps installs it)";
    }
    setPort(130, 0);
    pexal_test::Child reader({FindProgram("dbus-run-session"), "--", "/usr/bin/python3",
                              PEXAL_SOURCE_DIR "/tests/page_reader.py", PEXAL_PRINTER_PATH,
                              portFile().string()},
                             false, errorsFile());
    std::optional<int> status;
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(90),
                                   [&] { return (status = reader.Finished()).has_value(); }))
        << "the reader did not finish: " << errors();
    if (*status == 77) GTEST_SKIP() << "AT-SPI cannot start here: " << errors();
    EXPECT_EQ(*status, 0) << errors();
}

}  // namespace
