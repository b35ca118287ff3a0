// Input at and beyond the edges: port numbers, every byte value, and what pexal-send
// refuses, each with its message, its exit status and the port file untouched.
#include <algorithm>
#include <climits>
#include <fstream>

#include "port/io.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "tests/kit.h"

namespace fs = std::filesystem;

namespace {

class BadInput : public pexal_test::PortFileTest {};

TEST_F(BadInput, PortsAtTheExtremesNeitherOverflowNorStrayOutsideTheirSlot) {
    setPort(100, 'A', 40);
    const auto before = fileBytes();
    for (const std::int32_t port : {INT32_MIN, INT32_MIN + 1, -100, 0, 99}) {
        io::Status why;
        EXPECT_EQ(pexal_test::ReadByte(port, &why), 0) << port;
        EXPECT_EQ(why.kind, pexal::Kind::kNoSlot) << port;
        EXPECT_NE(why.reason.find("no slot"), std::string::npos) << port;
        EXPECT_FALSE(io::WRITE_IO_BYTE(port, 'Z').ok()) << port;
    }
    EXPECT_EQ(fileBytes(), before) << "nothing written for ports without a slot";
    EXPECT_EQ(io::READ_IO_BYTE(100), 'A');

    io::Status why;
    EXPECT_EQ(pexal_test::ReadByte(INT32_MAX, &why), 0);
    EXPECT_TRUE(why.ok()) << "the last port lies beyond the end: empty";
    EXPECT_EQ(fileBytes(), before);
    ASSERT_TRUE((why = io::WRITE_IO_BYTE(INT32_MAX, 'Y')).ok()) << why.reason;
    EXPECT_EQ(fs::file_size(portFile()), std::uintmax_t{INT32_MAX} - 100 + 1);
    EXPECT_EQ(io::READ_IO_BYTE(INT32_MAX), 'Y');
    EXPECT_EQ(io::READ_IO_BYTE(100), 'A');
}

TEST_F(BadInput, EveryByteValueThroughThePortKeepsTheHeadOnTheGrid) {
    pexal_test::HeadOnPage head;
    auto onGrid = [](int x, int y) {
        return x >= 3 && x <= 203 && (x - 3) % 8 == 0 && y >= 5 && y <= 275 && (y - 5) % 15 == 0;
    };
    for (int round = 0; round < 3; ++round) {
        for (int code = 1; code <= 255; ++code) {
            setPort(130, static_cast<std::uint8_t>(code));
            PollPort();
            ASSERT_EQ(fileBytes()->at(30), '\0') << code;
            EXPECT_TRUE(onGrid(General::PosX, General::PosY)) << code;
        }
    }
    const auto draws = head.page.draws();
    EXPECT_EQ(draws.size(), 3u * (255 - 31));
    for (const auto& mark : draws) {
        EXPECT_TRUE(onGrid(mark.x, mark.y) && mark.code >= 32) << int(mark.code);
    }
}

// pexal-send with input it must refuse or treat with care.
class SendRefuses : public pexal_test::PortFileTest {
protected:
    // Runs pexal-send with `args` and `input` on standard input; returns its exit status.
    int send(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), PEXAL_SEND_PATH);
        pexal_test::Child child(args, true, errorsFile());
        child.Write(input);
        child.CloseInput();
        std::optional<int> status;
        const bool ended = pexal_test::Until(
            std::chrono::seconds(60), [&] { return (status = child.Finished()); },
            [this] {
                if (poll) PollPort();
            });
        EXPECT_TRUE(ended) << "pexal-send did not end within a minute";
        return status.value_or(-1);
    }
    bool poll = false;
};

TEST_F(SendRefuses, InputItCannotSendWithoutTouchingThePort) {
    const struct {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string says;
    } cases[] = {
        {{}, "", 0, "nothing to send"},
        {{}, "\xC0\xAF", 3, "not valid UTF-8 (byte 1)"},
        {{}, "\xED\xA0\x80", 3, "not valid UTF-8"},
        {{}, "\xE0\x80\xAF", 3, "not valid UTF-8 (byte 1)"},  // an overlong '/'
        {{"--port", "99", "x"}, "", 1, "--port takes a whole number from 100"},
        {{"--port", "2147483648", "x"}, "", 1, "--port"},
        {{"--timeout", "0", "x"}, "", 1, "--timeout"},
        {{"--colour"}, "", 1, "unknown option '--colour'"},
        {{"--timeout", "1.2.3", "x"}, "", 1, "--timeout takes seconds above 0, not '1.2.3'"},
        {{"--timeout", std::string(400, '9'), "x"}, "", 1, "--timeout takes seconds"},
        {{"--timeout", "\x1b[31m", "x"}, "", 1, "not $'\\E[31m'"},  // shown, not sent to the terminal
        {{"x", "--port"}, "", 1, "'--port' needs a value"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(send(c.args, c.input), c.status) << c.says;
        EXPECT_NE(errors().find(c.says), std::string::npos) << errors();
        EXPECT_FALSE(fs::exists(portFile())) << c.says;
    }
    EXPECT_EQ(send({"--help"}), 0);
}

// A text given up half-way, with no printer to take its first byte, leaves the port empty
// and says so: refused input, and a message nobody can read (standard error a pipe whose
// reader is gone, which would raise SIGPIPE).
TEST_F(SendRefuses, GivingUpWithoutAPrinterLeavesThePortEmpty) {
    const struct {
        std::vector<std::string> args;
        std::string input, says;
    } cases[] = {
        {{"--raw", "--timeout", "0.5"}, std::string("A\0B", 3), "byte 2 of the input is 0"},
        {{"--timeout", "0.5"}, "a\xFF", "not valid UTF-8 (byte 2)"},
        {{"--port", "100", "--timeout", "0.5", "x"}, "", "the printer did not take byte 1 within 0.5 s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(send(c.args, c.input), 2) << c.says;
        EXPECT_NE(errors().find(c.says), std::string::npos) << errors();
        EXPECT_NE(errors().find("0 bytes taken; the rest was withdrawn"), std::string::npos) << errors();
        EXPECT_EQ(portByte(), 0) << c.says;
    }
    const std::string status = pexal_test::Capture(
        "(TMPDIR='" + dir().string() + "' " PEXAL_SEND_PATH " -n --timeout 0.5 \xE2\x98\x83 2>&1; echo $? >'" +
        (dir() / "status").string() + "') | true; cat '" + (dir() / "status").string() + "'");
    EXPECT_EQ(status, "2") << "not killed by SIGPIPE (141)";
    EXPECT_EQ(portByte(), 0);
}

TEST_F(SendRefuses, PortFileItCannotUseNamedOnOneLineWhateverItsBytes) {
    const struct {
        std::string name, shown;
    } directories[] = {
        {"plain", "plain"},
        {"new\nline", "new\\nline"},
        {"red\x1b[31m", "red\\E[31m"},
        {"nu\xff", "nu\\xFF"},
    };
    for (const auto& d : directories) {
        fs::create_directories(dir() / d.name / "dov_port.dat");  // a directory: unusable
        const pexal_test::ScopedEnv temp("TMPDIR", (dir() / d.name).string());
        EXPECT_EQ(send({"x"}), 4) << d.shown;
        const std::string said = errors();
        const std::string quote = d.name == d.shown ? "" : "$'";
        EXPECT_NE(said.find("cannot use port file " + quote + dir().string() + "/" + d.shown +
                            "/dov_port.dat" + (quote.empty() ? "" : "'")),
                  std::string::npos)
            << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
        EXPECT_TRUE(fs::is_directory(dir() / d.name / "dov_port.dat"));
    }
}

TEST_F(SendRefuses, CharactersWithoutAWindows1252CodeBecomeQuestionMarks) {
    pexal_test::HeadOnPage head;
    poll = true;
    EXPECT_EQ(send({}, "\xE2\x98\x83 \xE2\x82\xAC"), 0);  // snowman, space, euro sign
    EXPECT_EQ(head.page.text(), "? \x80");
    EXPECT_NE(errors().find("1 character(s) have no windows-1252 code"), std::string::npos)
        << errors();
}

TEST_F(SendRefuses, AMissingTemporaryDirectoryIsWaitedForAndTmpNeverUsed) {
    SKIP_IF_SHARED_PORT_FILE_EXISTS();
    const fs::path missing = dir() / "missing";
    const pexal_test::ScopedEnv temp("TMPDIR", missing.string());
    EXPECT_EQ(send({"--raw", "--timeout", "0.3", "ok"}), 2);
    EXPECT_NE(errors().find("waiting: its directory " + missing.string() + " does not exist"),
              std::string::npos)
        << errors();
    EXPECT_NE(errors().find("does not exist; waited 0.3 s for it"), std::string::npos) << errors();
    EXPECT_FALSE(pexal_test::SharedPortFileExists());

    // Made while the sender waits: the text goes through.
    pexal_test::HeadOnPage head;
    pexal_test::Child sender({PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "20", "ok"}, false,
                             errorsFile());
    ASSERT_TRUE(pexal_test::Within(std::chrono::seconds(20), [&] {
        return errors().find("waiting") != std::string::npos;
    })) << errors();
    fs::create_directory(missing);
    std::optional<int> status;
    pexal_test::Until(std::chrono::seconds(20), [&] { return (status = sender.Finished()); },
                      [] { PollPort(); });
    EXPECT_EQ(status, 0) << errors();
    EXPECT_EQ(head.page.text(), "ok");
}

TEST_F(SendRefuses, NumbersArePlainDecimalAndHelpThatCannotBeWrittenFails) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"--timeout", "0x10", "x"}, 1, "--timeout takes seconds"},
        {{"--timeout", "1e-9", "x"}, 1, "--timeout takes seconds"},
        {{"--timeout", " 1", "x"}, 1, "--timeout takes seconds"},
        {{"--port", " 130", "x"}, 1, "--port takes a whole number"},
        {{"--port", "+130", "x"}, 1, "--port takes a whole number"},
        {{"--port", "0130x", "x"}, 1, "--port takes a whole number"},
        {{"--raw=1", "x"}, 1, "'--raw' takes no value"},
        {{"--help"}, 1, "cannot write to standard output"},  // into a full device
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full",
                                      PEXAL_SEND_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        pexal_test::Child child(args, false, errorsFile());
        EXPECT_EQ(child.Wait(), c.status) << c.says;
        EXPECT_NE(errors().find(c.says), std::string::npos) << errors();
    }
    EXPECT_FALSE(fs::exists(portFile())) << "nothing was sent";
}

}  // namespace
