// The native Windows printer under Wine, on the virtual display of scripts/xvfb-session,
// against the Linux programs on one port file: scripts/windows runs this group with
// PEXAL_WINDOWS_BUILD naming the cross build, and WINEPREFIX set.
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "port/io.h"
#include "tests/ink.h"
#include "tests/kit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using pexal_test::Capture;
using pexal_test::ScopedEnv;
using pexal_test::Within;

// Wine keeps its server's socket under TMPDIR, so Wine programs start without it (and
// find the port file through Wine's own temporary directory).
class Wine : public pexal_test::PortFileTest {
protected:
    void SetUp() override {
        PortFileTest::SetUp();
        const auto build = ScopedEnv::Get("PEXAL_WINDOWS_BUILD");
        if (!build || !ScopedEnv::Get("PEXAL_VIRTUAL_DISPLAY")) {
            GTEST_SKIP() << "scripts/windows runs this group (a cross build, Wine, a display)";
        }
        build_ = *build;
        // Wine's temporary directory, as the Linux side sees it: both programs meet there.
        // Only an existing absolute directory will do: without TMP in Wine's environment,
        // cmd echoes "%TMP%" as it stands and winepath makes it relative to here.
        temp_ = Capture(
            R"sh(env -u TMPDIR sh -c 'winepath -u "$(wine cmd /c echo %TMP% | tr -d "\r")"' 2>&-)sh");
        ASSERT_TRUE(temp_.is_absolute() && fs::is_directory(temp_))
            << "Wine's temporary directory is not an existing absolute directory: '"
            << temp_.string() << "'";
        fs::remove(temp_ / "dov_port.dat");
        tmpdir_.emplace("TMPDIR", temp_.string());
    }
    void TearDown() override {
        tmpdir_.reset();
        PortFileTest::TearDown();
    }
    fs::path portFile() const { return temp_ / "dov_port.dat"; }
    std::string exe(const char* name) const { return (build_ / name).string(); }

    // The printer's window as the screen shows it: the light-green client area.
    QRect findWindow(QImage* shot) {
        Capture("import -window root " + (dir() / "shot.png").string() + " 2>/dev/null");
        *shot = QImage(QString::fromStdString((dir() / "shot.png").string()))
                    .convertToFormat(QImage::Format_RGB32);
        return pexal_test::AreaOf(*shot, qRgb(192, 255, 192));
    }

    fs::path build_, temp_;
    std::optional<ScopedEnv> tmpdir_;
};

TEST_F(Wine, TheWindowPrintsWhatALinuxSenderStoresAndNewPageEmptiesIt) {
    pexal_test::Child printer({"/usr/bin/env", "-u", "TMPDIR", "wine", exe("app/pexal-printer.exe")},
                              false,
                              (dir() / "printer.txt").string());
    ASSERT_TRUE(Within(60s, [&] { return fs::exists(portFile()) || printer.Finished(); }))
        << readFile("printer.txt");
    pexal_test::Child sender({PEXAL_SEND_PATH, "-n", "--timeout", "20", "W"});
    EXPECT_EQ(sender.Wait(), 0) << "the Windows printer did not take the byte";

    QImage shot;
    QRect window;
    const QRect firstCell(24 + 3, 80 + 5, 8, 15), page(24, 80, 225, 297);
    ASSERT_TRUE(Within(20s, [&] {
        window = findWindow(&shot);
        return window.size() == QSize(273, 396) &&
               pexal_test::InkIn(shot, firstCell.translated(window.topLeft()), 128);
    })) << "window " << window.width() << "x" << window.height() << " at " << window.x() << ","
        << window.y();
    EXPECT_FALSE(pexal_test::InkIn(shot, QRect(24 + 60, 80 + 60, 100, 100).translated(
                                             window.topLeft()), 250))
        << "ink only where the glyph is";

    const QPoint button = window.topLeft() + QPoint(16 + 40, 32 + 12);
    Capture("xdotool mousemove " + std::to_string(button.x()) + " " + std::to_string(button.y()) +
            " click 1");
    EXPECT_TRUE(Within(10s, [&] {
        findWindow(&shot);
        return !pexal_test::InkIn(shot, page.translated(window.topLeft()), 250);
    })) << "New page left ink on the page";

    // Closing the window with a byte waiting (held back by a lock) leaves the byte alone.
    pexal_test::LockHolder hold(portFile(), 30, /*exclusive=*/true);
    setPort(130, 'Z', 31);
    const QPoint inside = window.topLeft() + QPoint(136, 200);  // keys go where the pointer is
    Capture("xdotool mousemove " + std::to_string(inside.x()) + " " + std::to_string(inside.y()) +
            " click 1 key alt+F4");
    EXPECT_TRUE(Within(20s, [&] { return printer.Finished().has_value(); }))
        << "the window did not close";
    EXPECT_EQ(fileBytes()->at(30), 'Z');
}

// The descriptors the Wine server of this prefix holds, or -1 when it cannot be found.
int WineServerDescriptors() {
    const auto prefix = ScopedEnv::Get("WINEPREFIX");
    for (const auto& process : fs::directory_iterator("/proc")) {
        std::ifstream comm(process.path() / "comm"), environ(process.path() / "environ");
        std::string name, variable;
        if (!std::getline(comm, name) || name.rfind("wineserver", 0) != 0) continue;
        while (prefix && std::getline(environ, variable, '\0')) {
            if (variable != "WINEPREFIX=" + *prefix) continue;
            std::error_code error;
            const auto fds = fs::directory_iterator(process.path() / "fd", error);
            return error ? -1 : static_cast<int>(std::distance(fs::begin(fds), fs::end(fds)));
        }
    }
    return -1;
}

// The Windows sender against a Linux taker that clears the port as soon as it is set: a
// long text arrives whole, every byte once, and the Wine server keeps no descriptor for
// the looks (Wine keeps one for every handle to the file closed while a lock on it
// stands, and the sender holds its lock for the whole text). With nobody taking, the
// byte stored is taken back when the sender gives up.
TEST_F(Wine, TheWindowsSenderFeedsALongTextEveryByteOnceAndWithdrawsWhatIsNotTaken) {
    std::string text;
    while (text.size() < 5000) text += "The quick brown fox " + std::to_string(text.size()) + ". ";
    const struct {
        bool taker;
        const char* timeout;
        int status;
        std::string taken, said;
    } cases[] = {{true, "30", 0, text, ""},
                 {false, "2", 2, "", "0 bytes taken; the rest was withdrawn"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.taker ? "taken at once" : "not taken");
        const int before = WineServerDescriptors();
        ASSERT_GT(before, 0) << "no Wine server for this prefix";
        pexal_test::Child sender({"/usr/bin/env", "-u", "TMPDIR", "wine",
                                  exe("tools/pexal-send.exe"), "--raw", "-n", "--timeout",
                                  c.timeout, text},
                                 false, (dir() / "sender.txt").string());
        std::string taken;
        std::optional<int> status;
        // The descriptors kept would all go with the sender's lock: count them during the send.
        int most = before;
        auto nextCount = std::chrono::steady_clock::now();
        pexal_test::Until(120s, [&] { return (status = sender.Finished()); }, [&] {
            if (std::chrono::steady_clock::now() >= nextCount) {
                most = std::max(most, WineServerDescriptors());
                nextCount += 100ms;
            }
            if (const std::uint8_t byte = c.taker ? pexal_test::TakeByte(130) : 0) {
                taken += static_cast<char>(byte);
            } else {
                std::this_thread::sleep_for(200us);
            }
        });
        ASSERT_TRUE(status) << "the Windows sender never finished";
        EXPECT_EQ(*status, c.status) << readFile("sender.txt");
        EXPECT_EQ(taken, c.taken) << taken.size() << " of " << c.taken.size() << " bytes";
        EXPECT_EQ(portByte(), 0) << readFile("sender.txt");
        EXPECT_NE(readFile("sender.txt").find(c.said), std::string::npos) << readFile("sender.txt");
        EXPECT_LE(most, before + 24) << "the Wine server's descriptors grew during the send";
        std::printf("Wine server descriptors: %d before, at most %d during %zu bytes\n", before,
                    most, taken.size());
    }
}

// The page as a screen reader on Windows follows it: a UI Automation client under Wine
// asks the running printer for its page, the page's live region and the system caret
// after each step (printing, keys on the page, "New page").
TEST_F(Wine, AScreenReaderFollowsThePageThroughUiAutomation) {
    pexal_test::Child printer({"/usr/bin/env", "-u", "TMPDIR", "wine", exe("app/pexal-printer.exe")},
                              false, (dir() / "printer.txt").string());
    ASSERT_TRUE(Within(60s, [&] { return fs::exists(portFile()) || printer.Finished(); }))
        << readFile("printer.txt");
    const auto read = [&] {
        // Bounded: a client stuck in a cross-process call would otherwise hold the test.
        return Capture("env -u TMPDIR timeout -k 5 15 wine " + exe("tests/screen_reader_client.exe") +
                       " 2>/dev/null | tr -d '\\r'");
    };
    const std::string page = "page name=Page type=50030 id=Paper focusable=1\n";
    const std::string picture = "picture name=Printer role=40 readonly=0";
    QImage shot;
    const QRect window = findWindow(&shot);
    const auto click = [&](QPoint at) {
        at += window.topLeft();
        Capture("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1");
    };
    const struct {
        const char* does;
        std::function<void()> act;
        std::string reads;
    } steps[] = {
        {"nothing yet", [] {}, "live name= type=50020 polite=1\ncaret none\n"},
        {"the host prints",
         [] { EXPECT_EQ(pexal_test::Child({PEXAL_SEND_PATH, "-n", "--timeout", "20", "Hi\nthere\bX"}).Wait(), 0); },
         "live name=therX type=50020 polite=1\ncaret none\n"},
        {"a click on the page", [&] { click({24 + 40, 80 + 40}); },
         "live name=therX type=50020 polite=1\ncaret on page at 43,20\n"},
        {"Up", [] { Capture("xdotool key Up"); }, "live name=therX type=50020 polite=1\ncaret on page at 19,5\n"},
        {"End, Ctrl+Home", [] { Capture("xdotool key End key ctrl+Home"); },
         "live name=therX type=50020 polite=1\ncaret on page at 3,5\n"},
        {"New page", [&] { click({16 + 40, 32 + 12}); },
         "live name=The page is empty type=50020 polite=1\ncaret none\n"},
    };
    for (const auto& step : steps) {
        step.act();
        const std::string wanted = page + step.reads + picture;
        std::string said;
        EXPECT_TRUE(Within(20s, [&] { return (said = read()) == wanted; }))
            << step.does << ":\n" << said << "\nthe printer said: " << readFile("printer.txt");
    }
}

// Keeping the page through the real Windows dialogs: the shortcuts, Windows' save dialog
// (under Wine) and the clipboard, which Wine shares with X.
TEST_F(Wine, TheUserCopiesAndSavesThePageThroughTheShortcutsAndTheSaveDialog) {
    pexal_test::Child printer({"/usr/bin/env", "-u", "TMPDIR", "wine", exe("app/pexal-printer.exe")},
                              false, (dir() / "printer.txt").string());
    ASSERT_TRUE(Within(60s, [&] { return fs::exists(portFile()) || printer.Finished(); }));
    EXPECT_EQ(pexal_test::Child({PEXAL_SEND_PATH, "-n", "--timeout", "20", "Hi\nthere\bX \u20AC"}).Wait(), 0);
    QImage shot;
    const QRect window = findWindow(&shot);
    Capture("xdotool search --name '^Pexal Printer$' windowfocus");
    Capture("xdotool key ctrl+c");
    EXPECT_TRUE(Within(10s, [&] { return Capture("xclip -o -selection clipboard") == "Hi\ntherX \u20AC"; }))
        << Capture("xclip -o -selection clipboard");
    const auto saveAs = [&](const std::string& name) {
        Capture("xdotool search --name '^Pexal Printer$' windowfocus key ctrl+s");
        EXPECT_TRUE(Within(20s, [&] { return !Capture("xdotool search --name 'Save page as'").empty(); }));
        std::string path = "Z:" + (dir() / name).string();
        std::replace(path.begin(), path.end(), '/', '\\');
        Capture("xdotool type --delay 10 '" + path + "'");
        Capture("xdotool key Return");
        return Within(20s, [&] { return fs::exists(dir() / name) && !fs::exists(dir() / (name + ".part")); });
    };
    ASSERT_TRUE(saveAs("page.pdf"));
    EXPECT_EQ(Capture("pdftotext -layout '" + (dir() / "page.pdf").string() + "' - | tr -d '\\f'"), "Hi\ntherX \u20AC");
    ASSERT_TRUE(saveAs("page.txt"));
    EXPECT_EQ(readFile("page.txt"), "Hi\r\ntherX \u20AC\r\n");
    ASSERT_TRUE(saveAs("page.png"));  // what the screen shows of the window, pixel for pixel
    const QImage png = QImage(QString::fromStdString((dir() / "page.png").string())).convertToFormat(QImage::Format_RGB888);
    findWindow(&shot);
    const QImage seen = shot.copy(window).convertToFormat(QImage::Format_RGB888);
    int differ = png.size() == seen.size() ? 0 : -1;
    for (int y = 0; differ >= 0 && y < png.height(); ++y) {
        for (int x = 0; x < png.width(); ++x) differ += png.pixel(x, y) != seen.pixel(x, y);
    }
    EXPECT_EQ(differ, 0) << "pixels that differ from the screen's";
}

// Wine's screen density for the programs started while it lives (96 dpi back after).
class WineDensity {
public:
    explicit WineDensity(int dpi) { Set(dpi); }
    ~WineDensity() { Set(96); }

private:
    static void Set(int dpi) {
        Capture("env -u TMPDIR timeout -k 5 60 wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels "
                "/t REG_DWORD /d " + std::to_string(dpi) + " /f >/dev/null 2>&1");
    }
};

TEST_F(Wine, AtOneAndAHalfTimesTheDensityTheSheetScalesAndItsGlyphsStayCrisp) {
    const WineDensity dense(144);
    pexal_test::Child printer({"/usr/bin/env", "-u", "TMPDIR", "wine", exe("app/pexal-printer.exe")},
                              false, (dir() / "printer.txt").string());
    ASSERT_TRUE(Within(60s, [&] { return fs::exists(portFile()) || printer.Finished(); }));
    pexal_test::Child sender({PEXAL_SEND_PATH, "-n", "--timeout", "20", "W"});
    EXPECT_EQ(sender.Wait(), 0);
    QImage shot;
    QRect window, ink;
    // The page at 1.5x: at (36, 120) in the client area, its first cell at (41, 128).
    const QRect firstCell(36 + 5, 120 + 8, 12, 23);
    EXPECT_TRUE(Within(20s, [&] {
        window = findWindow(&shot);
        if (window.size() != QSize(410, 594)) return false;
        const QImage cell = shot.copy(firstCell.translated(window.topLeft()));
        ink = pexal_test::InkBox(cell, 128);
        return ink.height() >= 13;  // drawn at 1.5x, not the 100 % glyph stretched or left small
    })) << "window " << window.width() << "x" << window.height() << ", ink " << ink.width() << "x"
        << ink.height();
    if (const auto keep = ScopedEnv::Get("PEXAL_KEEP_SCREENSHOT")) {
        shot.save(QString::fromStdString(*keep));
    }
}

}  // namespace
