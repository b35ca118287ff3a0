// The host's side: the encoder fed in pieces, and the handshake against the real port file.
#include <atomic>
#include <filesystem>
#include <thread>

#include "common/text.h"
#include "common/windows1252.h"
#include "host/encoder.h"
#include "host/handshake.h"
#include "port/io.h"
#include "tests/kit.h"

namespace {

using namespace std::chrono_literals;

TEST(Encoder, GivesTheSameBytesHoweverTheInputIsCut) {
    // café €, a newline, a Windows line end, a snowman, a CR of its own at the end
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC\n\r\n\xE2\x98\x83!\r";
    const std::string expected = "caf\xE9 \x80\r\n\r\n?!\r";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        for (std::size_t second = cut; second <= text.size(); second += 3) {
            host::Encoder encoder;
            std::string out;
            ASSERT_TRUE(encoder.Feed(text.substr(0, cut), out).ok());
            ASSERT_TRUE(encoder.Feed(text.substr(cut, second - cut), out).ok());
            ASSERT_TRUE(encoder.Feed(text.substr(second), out).ok());
            ASSERT_TRUE(encoder.Finish(out).ok());
            EXPECT_EQ(out, expected) << "cut at " << cut << " and " << second;
            EXPECT_EQ(encoder.unmappable(), 1u);
        }
    }
}

TEST(Encoder, StopsAtTheFirstBadByteAndSaysWhere) {
    const struct {
        std::vector<std::string> chunks;
        std::string sent, error;
    } cases[] = {
        {{"ab", "\xC3", "x"}, "ab", "not valid UTF-8 (byte 3)"},
        {{"ok\xC3"}, "ok", "not valid UTF-8 (byte 3)"},  // cut off at the end
        {{"a", std::string("b\0c", 3)}, "ab", "zero character (byte 3)"},
        {{"\xED\xA0\x80"}, "", "not valid UTF-8 (byte 1)"},  // a surrogate
    };
    for (const auto& c : cases) {
        host::Encoder encoder;
        std::string out;
        host::Status status;
        for (const auto& chunk : c.chunks) {
            if (status.ok()) status = encoder.Feed(chunk, out);
        }
        if (status.ok()) status = encoder.Finish(out);
        EXPECT_EQ(status.kind, pexal::Kind::kBadInput) << c.error;
        EXPECT_EQ(out, c.sent) << c.error;
        EXPECT_NE(status.reason.find(c.error), std::string::npos) << status.reason;
        EXPECT_EQ(encoder.Feed("more", out).reason, status.reason) << "a failed text stays failed";
    }
}

TEST(Windows1252, EveryCodeRoundTripsButTheFiveUndefinedOnes) {
    // What the page draws for a code is what a sender sends for that character; the five
    // codes with no character decode to C1 controls, which no sender can reach.
    for (int code = 0; code <= 255; ++code) {
        const char16_t character = pexal::FromWindows1252(static_cast<std::uint8_t>(code));
        const bool undefined = code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 ||
                               code == 0x9D;
        EXPECT_EQ(character == code, code < 0x80 || code > 0x9F || undefined) << code;
        const auto back = pexal::ToWindows1252(character);
        EXPECT_EQ(back, undefined ? std::nullopt : std::optional<std::uint8_t>(code)) << code;
    }
    EXPECT_EQ(pexal::ToWindows1252(U'\u20AC'), 0x80);  // the euro sign
    EXPECT_EQ(pexal::ToWindows1252(U'\u0100'), std::nullopt);
    EXPECT_EQ(pexal::ToWindows1252(U'\U0001F600'), std::nullopt);

    // Against an independent table, iconv's: a round trip cannot see two codes swapped.
    std::string codes, expected;
    for (int code = 0x80; code <= 0xFF; ++code) {
        if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D) continue;
        char octal[8];
        std::snprintf(octal, sizeof octal, "\\%03o", code);
        codes += octal;
        expected += pexal::Utf8(std::u16string(1, pexal::FromWindows1252(static_cast<std::uint8_t>(code))));
    }
    EXPECT_EQ(pexal_test::Capture("printf '" + codes + "' | iconv -f CP1252 -t UTF-8"), expected);
}

TEST(QuotePath, PrintableTextStandsAndEveryOtherByteIsEscaped) {
    const struct {
        std::string path, shown;
    } cases[] = {
        {"/tmp/a b", "/tmp/a b"},
        {"/tmp/caf\xC3\xA9's", "/tmp/caf\xC3\xA9's"},
        {"/tmp/a\nb", "$'/tmp/a\\nb'"},
        {"/x\x1b[31m", "$'/x\\E[31m'"},
        {"/nu\xff", "$'/nu\\xFF'"},
        {"/it's\t", "$'/it\\'s\\t'"},
        {"/c1\xC2\x85", "$'/c1\\xC2\\x85'"},  // NEL, a line end to some terminals
        {"/a\\b\n", "$'/a\\\\b\\n'"},  // a backslash escaped too, inside $'...' 
    };
    for (const auto& c : cases) EXPECT_EQ(pexal::QuotePath(c.path), c.shown) << c.path;
}

class HandshakeTest : public pexal_test::PortFileTest {};

TEST_F(HandshakeTest, StoresOnlyIntoAnEmptyPortAndCountsWhatIsTaken) {
    std::atomic<bool> stop = false;
    std::string taken;
    std::thread printer([&] {  // takes each byte as the printer would, without printing
        while (!stop) {
            if (const std::uint8_t b = io::READ_IO_BYTE(130); b != 0 && io::WRITE_IO_BYTE(130, 0).ok()) {
                taken += static_cast<char>(b);
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    host::Handshake link(130, 5s);
    for (char c : std::string("abc")) {
        EXPECT_TRUE(link.Put(static_cast<std::uint8_t>(c)).ok());
    }
    EXPECT_TRUE(link.WaitUntilTaken().ok());
    stop = true;
    printer.join();
    EXPECT_EQ(taken, "abc");
    EXPECT_EQ(link.taken(), 3u);
}

TEST_F(HandshakeTest, WithdrawWaitsOutAShortLockOnThePort) {
    // A printer looking at the port at the moment a sender gives up: the byte must still
    // be taken back, or it prints later although the sender said it was withdrawn.
    setPort(130, 0);
    host::Handshake link(130, 5s);
    ASSERT_TRUE(link.Put('w').ok());
    {
        pexal_test::LockHolder printer(portFile(), 30, /*exclusive=*/true, 5000);
        EXPECT_TRUE(link.Withdraw());
    }
    EXPECT_EQ(portByte(), 0);
    EXPECT_FALSE(link.pending());
    ASSERT_TRUE(link.Put('t').ok());
    EXPECT_EQ(pexal_test::TakeByte(130), 't');  // the printer's tick as the sender gives up
    EXPECT_FALSE(link.Withdraw());
    EXPECT_EQ(link.taken(), 1u) << "taken meanwhile counts as taken";
}

TEST_F(HandshakeTest, WaitsOutAForeignByteThenGivesUpWithoutTouchingIt) {
    setPort(130, 'Z');
    host::Handshake link(130, 50ms);
    EXPECT_EQ(link.Put('a').kind, pexal::Kind::kTimedOut);
    EXPECT_EQ(static_cast<char>(fileBytes()->at(30)), 'Z');
    EXPECT_EQ(link.taken(), 0u);
}

TEST_F(HandshakeTest, UnusablePortFileEndsTheWaitAtOnceAndBusyOneDoesNot) {
    std::filesystem::create_directory(portFile());
    host::Handshake link(130, 600s);  // a wait for the deadline would outlast the test
    const host::Status unusable = link.Put('a');
    EXPECT_EQ(unusable.kind, pexal::Kind::kUnusable);
    EXPECT_EQ(unusable.path, portFile().string());
    EXPECT_NE(unusable.reason.find("not a regular file"), std::string::npos) << unusable.reason;
    std::filesystem::remove(portFile());

    setPort(130, 0);
    host::Handshake brief(130, 50ms);
    pexal_test::LockHolder host(portFile(), 30, /*exclusive=*/true);
    const host::Status busy = brief.Put('a');
    EXPECT_EQ(busy.kind, pexal::Kind::kTimedOut);
    EXPECT_NE(busy.reason.find("lock"), std::string::npos) << busy.reason;
}

}  // namespace
