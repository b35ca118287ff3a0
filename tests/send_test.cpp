// pexal-send against the real poll cycle: one sender at a time, nothing left behind,
// input sent as it arrives, and the page's edges.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "common/facts.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "tests/kit.h"

namespace {

using pexal_test::Child;
using namespace std::chrono_literals;

class Send : public pexal_test::PollTest {
protected:
    // Polls until `done`, or fails the test after a generous deadline.
    template <typename Pred>
    void pollUntil(Pred done, const char* what) {
        EXPECT_TRUE(pexal_test::Until(std::chrono::seconds(20), done, [] { PollPort(); })) << what;
    }
    // The printed text, one string a printed line (by the y of each glyph).
    std::vector<std::string> lines() const {
        std::map<int, std::string> byY;
        for (const auto& mark : printed->draws()) byY[mark.y] += static_cast<char>(mark.code);
        std::vector<std::string> out;
        for (const auto& [y, text] : byY) out.push_back(text);
        return out;
    }
};

TEST_F(Send, ConcurrentSendersPrintEachTextWholeAndInTurn) {
    for (const int senders : {2, 5}) {
        printed->marks.clear();
        std::vector<std::unique_ptr<Child>> running;
        for (int k = 0; k < senders; ++k) {
            running.push_back(std::make_unique<Child>(std::vector<std::string>{
                PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "30", std::string(12, char('A' + k))}));
        }
        for (auto& sender : running) EXPECT_EQ(pollUntilExit(*sender), 0);
        const std::string text = printed->text();
        ASSERT_EQ(text.size(), 12u * senders) << text;
        for (std::size_t at = 0; at < text.size(); at += 12) {
            EXPECT_EQ(text.substr(at, 12), std::string(12, text[at])) << "interleaved: " << text;
        }
    }
}

// A second sender waits for the first's whole text, however short its own --timeout: the
// timeout bounds a wait for the printer, not for another sender.
TEST_F(Send, ASecondSenderWaitsForTheFirstsTextBeyondItsOwnTimeout) {
    Child first({PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "30", std::string(8, 'A')});
    pollUntil([&] { return printed->text() == "A"; }, "the first text under way");
    Child second({PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "0.2", "b"}, false, errorsFile());
    std::optional<int> status;
    EXPECT_TRUE(pexal_test::Until(std::chrono::seconds(20), [&] { return (status = second.Finished()); }, [] {
        PollPort();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // 8 bytes: beyond 0.2 s
    }));
    EXPECT_EQ(status, 0) << errors();
    EXPECT_EQ(pollUntilExit(first), 0);
    EXPECT_EQ(printed->text(), "AAAAAAAAb");
}

// Against a printer that takes a byte at each 200 ms tick, the sender stores the next byte
// in time for the very next tick: ten bytes take ten ticks or about, not twenty. When the
// printer misses ticks, the sender looks anew instead of closely at a tick long gone.
TEST_F(Send, APacedPrinterTakesAByteAtEveryTick) {
    Child sender({PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "30", "0123456789"});
    // Read calls so far, looks at the port among them (the kernel's count).
    const std::string io = "awk '/^syscr/ {print $2}' /proc/" + std::to_string(sender.pid()) + "/io";
    const auto reads = [&] { return std::stoll("0" + pexal_test::Capture(io)); };
    int ticks = 0, missed = 0;
    long long readsWhileMissed = 0;
    auto next = std::chrono::steady_clock::now();
    std::optional<int> status;
    while (!(status = sender.Finished()) && ticks < 100) {
        next += pexal::kPollInterval;
        const long long before = reads();
        std::this_thread::sleep_until(next);
        if (printed->text().size() == 3 && missed++ < 5) {
            readsWhileMissed += reads() - before;
            continue;
        }
        PollPort();
        if (!printed->text().empty()) ++ticks;  // from the first take on
    }
    EXPECT_TRUE(readsWhileMissed > 0 && readsWhileMissed < 300)
        << readsWhileMissed << " reads in the second the printer missed (a look every 2 ms: 1000)";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(printed->text(), "0123456789");
    EXPECT_LE(ticks, 13) << "ticks from the first byte to the end of the text";
}

TEST_F(Send, ASignalTakesBackTheByteThePrinterHasNotTaken) {
    const struct {
        int signal;
        bool locked;  // another program holds the port's byte: it cannot be taken back
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGTERM, true}};
    for (const auto [signal, locked] : cases) {
        Child sender({PEXAL_SEND_PATH, "--raw", "xy"}, false, errorsFile());
        ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(20), [&] { return portByte() == 'x'; }));
        std::optional<pexal_test::LockHolder> reader;
        if (locked) reader.emplace(portFile(), 30, /*exclusive=*/false);
        ::kill(sender.pid(), signal);
        EXPECT_EQ(sender.Wait(), 128 + signal);
        EXPECT_EQ(portByte(), locked ? 'x' : 0);
        EXPECT_NE(errors().find(locked ? "0 bytes taken; byte 1 could not be taken back and is "
                                         "still in the port"
                                       : "0 bytes taken; the rest was withdrawn"),
                  std::string::npos)
            << errors();
        setPort(130, 0);
    }
    ticks(2);
    EXPECT_EQ(printed->text(), "") << "nothing of a withdrawn byte is printed";
}

TEST_F(Send, InputIsSentAsItArrivesAndABadByteStopsItThere) {
    const struct {
        std::vector<std::string> args;
        std::string bad, says;
    } cases[] = {
        {{"--raw"}, std::string("\0c", 2), "byte 3 of the input is 0"},
        {{"-"}, "\xFF", "not valid UTF-8 (byte 3)"},
    };
    for (const auto& c : cases) {
        printed->marks.clear();
        std::vector<std::string> args = {PEXAL_SEND_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child sender(args, /*pipeInput=*/true, errorsFile());
        sender.Write("ab");  // and the input stays open
        pollUntil([&] { return printed->text() == "ab"; }, "nothing printed before the end");
        sender.Write(c.bad);
        EXPECT_EQ(pollUntilExit(sender), 3);
        EXPECT_NE(errors().find(c.says), std::string::npos) << errors();
        EXPECT_NE(errors().find("; 2 bytes were already sent"), std::string::npos) << errors();
        EXPECT_EQ(printed->text(), "ab");
    }
    {  // good input in two pieces: the sender lock taken for the first serves the second
        printed->marks.clear();
        Child sender({PEXAL_SEND_PATH, "--raw"}, /*pipeInput=*/true, errorsFile());
        sender.Write("ab");
        pollUntil([&] { return printed->text() == "ab"; }, "the first piece");
        sender.Write("cd");
        sender.CloseInput();
        EXPECT_EQ(pollUntilExit(sender), 0) << errors();
        EXPECT_EQ(printed->text(), "abcd");
    }
    // In one piece: the same rule, everything before the bad sequence is printed.
    const struct {
        std::vector<std::string> args;
        std::string input, printed, says;
    } whole[] = {
        {{"--raw"}, std::string("ab\0c", 4), "ab", "byte 3 of the input is 0"},
        {{}, std::string("ok\0", 3), "ok", "zero character (byte 3)"},
        {{}, "ab\xFF" "cd", "ab", "not valid UTF-8 (byte 3)"},
        {{}, "caf\xC3", "caf", "not valid UTF-8 (byte 4)"},  // cut off at the end
    };
    for (const auto& c : whole) {
        printed->marks.clear();
        std::vector<std::string> args = {PEXAL_SEND_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child sender(args, /*pipeInput=*/true, errorsFile());
        sender.Write(c.input);
        sender.CloseInput();
        EXPECT_EQ(pollUntilExit(sender), 3) << c.says;
        EXPECT_NE(errors().find(c.says), std::string::npos) << errors();
        EXPECT_EQ(printed->text(), c.printed) << c.says;
    }
}

TEST_F(Send, UnreadableStandardInputIsRefusedWithTheReason) {
    const struct {
        const char* redirect;
        const char* says;
    } cases[] = {
        {"0<&-", "Bad file descriptor"},
        {"0</", "Is a directory"},
        {"0>/dev/null", "Bad file descriptor"},
    };
    for (const auto& c : cases) {
        Child sender({"/bin/sh", "-c", std::string("exec \"$0\" ") + c.redirect, PEXAL_SEND_PATH},
                     false, errorsFile());
        EXPECT_EQ(sender.Wait(), 3) << c.redirect;
        EXPECT_NE(errors().find(std::string("cannot read standard input: ") + c.says),
                  std::string::npos)
            << errors();
    }
}

TEST_F(Send, WrapFoldsAtSpacesAndTheEdgesAreWarnedAboutOtherwise) {
    const std::string sixty = "Sixty characters make a line far wider than this little page";
    Child wrapped({PEXAL_SEND_PATH, "--wrap", sixty}, false, errorsFile());
    EXPECT_EQ(pollUntilExit(wrapped), 0);
    std::string joined;
    for (std::string line : lines()) {
        EXPECT_LE(line.size(), 26u) << line;
        line.erase(line.find_last_not_of(' ') + 1);  // a space before the fold is invisible
        joined += (joined.empty() ? "" : " ") + line;
    }
    EXPECT_EQ(joined, sixty) << "every word whole, in order";
    EXPECT_EQ(errors(), "");
    const std::string full = "ab " + std::string(23, 'w');  // a word that fills the line's rest stays on it
    printed->marks.clear();
    General::HomeHead();
    Child exact({PEXAL_SEND_PATH, "--wrap", full + " next"}, false, errorsFile());
    EXPECT_EQ(pollUntilExit(exact), 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{full, "next"}));
    EXPECT_EQ(printed->draws().back().y, 20) << "\"next\" on the second line, none left empty between";

    const struct {
        std::string text, says;
    } overflows[] = {
        {std::string(30, 'x'), "a line runs past the right edge"},
        {std::string(25, '\n') + "z", "the text runs past the 19th line"},
    };
    for (const auto& o : overflows) {
        Child sender({PEXAL_SEND_PATH, "-n", o.text}, false, errorsFile());
        EXPECT_EQ(pollUntilExit(sender), 0);
        EXPECT_NE(errors().find("warning: " + o.says), std::string::npos) << errors();
    }
}

// The host removes, replaces or moves the port file while byte F of a text waits in it:
// nothing is lost or printed twice, and what is said taken is what was printed.
TEST_F(Send, APortFileReplacedUnderASenderLosesAndDoublesNoByte) {
    namespace fs = std::filesystem;
    const fs::path moved = dir() / "moved";
    // In one step, as a sender woken by the change would otherwise make a new file there.
    const auto putInstead = [&](const fs::path& other, const fs::path& away) {
        ::renameat2(AT_FDCWD, other.c_str(), AT_FDCWD, portFile().c_str(), RENAME_EXCHANGE), fs::rename(other, away);
    };
    const fs::path away = dir().string() + "-away";
    pid_t sending = 0;
    // A copy holding the waiting byte renamed over the file, as an atomic save does; with
    // `looked`, until the sender has seen it (its byte is gone from the file replaced).
    const auto copyOver = [&](bool looked) {
        const int replaced = ::open(portFile().c_str(), O_RDONLY);
        fs::copy_file(portFile(), dir() / "copy");
        fs::permissions(dir() / "copy", fs::perms(0644));
        fs::rename(dir() / "copy", portFile());
        char byte = 'F';
        EXPECT_TRUE(!looked || pexal_test::Within(20s, [&] { return ::pread(replaced, &byte, 1, 30) == 1 && !byte; }));
        ::close(replaced);
    };
    const struct {
        const char* host;
        std::function<void()> does;
        int status;
        std::string printed, says;
        bool asAnotherUser = false;  // a sender that may not write the host's new file
    } cases[] = {
        {"deletes it", [&] { fs::remove(portFile()); }, 0, "ABCDEFGHIJ", ""},
        {"renames a copy over it", [&] { copyOver(true); }, 0, "ABCDEFGHIJ", ""},
        {"renames a copy over it, which the printer takes from before the sender looks",
         [&] { ::kill(sending, SIGSTOP), copyOver(false), PollPort(), ::kill(sending, SIGCONT); }, 4, "ABCDEF", "so whether the printer took it cannot be known (5 bytes taken)"},
        {"renames its own copy over it", [&] { copyOver(true); }, 4, "ABCDEF", "permission denied", true},
        {"cuts it to byte 6's offset", [&] { fs::resize_file(portFile(), 30); }, 4, "ABCDE",
         "so whether the printer took that byte cannot be known (5 bytes taken)"},
        {"removes its directory and makes it again a moment later",
         [&] { fs::remove_all(away), fs::rename(dir(), away), std::this_thread::sleep_for(300ms), fs::create_directory(dir()); },
         0, "ABCDEFGHIJ", ""},
        {"renames an empty file over it",
         [&] {
             std::ofstream(dir() / "new") << std::string(64, '\0');
             fs::rename(dir() / "new", portFile());
         },
         0, "ABCDEFGHIJ", ""},
        {"cuts it short", [&] { fs::resize_file(portFile(), 0); }, 4, "ABCDE",
         "while byte 6 waited in it, so whether the printer took that byte cannot be known (5 bytes taken)"},
        {"moves it away for a directory", [&] { fs::create_directory(dir() / "other"), putInstead(dir() / "other", moved); }, 4, "ABCDE", "(5 bytes taken; the rest was withdrawn)"},
        {"moves it away for a link", [&] { fs::create_symlink(moved, dir() / "other"), putInstead(dir() / "other", moved); }, 4, "ABCDE", "(5 bytes taken; the rest was withdrawn)"},
    };
    for (const auto& c : cases) {
        printed->marks.clear();
        std::vector<std::string> command = {PEXAL_SEND_PATH, "-n", "--timeout", "20", "ABCDEFGHIJ"};
        if (c.asAnotherUser) {
            if (::geteuid() != 0) continue;
            setPort(130, 0);
            fs::permissions(dir(), fs::perms::all), fs::permissions(portFile(), fs::perms(0666));
            command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        }
        Child sender(command, false, errorsFile());
        sending = sender.pid();
        // The printer takes five bytes, then stops while the sender stores the sixth.
        EXPECT_TRUE(pexal_test::Until(
            std::chrono::seconds(20), [&] { return printed->text() == "ABCDE" && portByte() == 'F'; },
            [&] {
                if (printed->text().size() < 5) PollPort();
            }))
            << c.host;
        c.does();
        EXPECT_EQ(pollUntilExit(sender), c.status) << c.host << ": " << errors();
        EXPECT_EQ(printed->text(), c.printed) << c.host;
        EXPECT_NE(errors().find(c.says), std::string::npos) << c.host << ": " << errors();
        if (c.status == 0) {  // the sender lock moved with the text: a second sender waits for it
            printed->marks.clear();
            Child first({PEXAL_SEND_PATH, "-n", "--timeout", "20", "ABCDEFGHIJ"});
            EXPECT_TRUE(pexal_test::Until(
                std::chrono::seconds(20), [&] { return printed->text() == "ABCDE" && portByte() == 'F'; },
                [&] {
                    if (printed->text().size() < 5) PollPort();
                }));
            // The sender lock is in no file: a second sender waiting for it when the file
            // is replaced goes on waiting for the whole first text.
            Child second({PEXAL_SEND_PATH, "-n", "--timeout", "20", "abcdef"});
            c.does();
            EXPECT_EQ(pollUntilExit(first), 0);
            EXPECT_EQ(pollUntilExit(second), 0);
            EXPECT_EQ(printed->text(), "ABCDEFGHIJabcdef") << c.host;
        }
        if (fs::exists(moved)) {  // the host puts its file back: nothing of ours is left in it
            fs::remove_all(portFile());
            fs::rename(moved, portFile());
            ticks(2);
            EXPECT_EQ(printed->text(), c.printed) << c.host;
        }
    }
    fs::remove_all(away);
}

}  // namespace
