// The host's side: the encoder fed in pieces, and the handshake against the real port file.
#include <atomic>
#include <filesystem>
#include <thread>

#include "host/encoder.h"
#include "host/handshake.h"
#include "port/io.h"
#include "printhead/page_image.h"
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
            ASSERT_TRUE(encoder.Feed(text.substr(0, cut), out));
            ASSERT_TRUE(encoder.Feed(text.substr(cut, second - cut), out));
            ASSERT_TRUE(encoder.Feed(text.substr(second), out));
            ASSERT_TRUE(encoder.Finish(out)) << encoder.error();
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
        bool ok = true;
        for (const auto& chunk : c.chunks) ok = ok && encoder.Feed(chunk, out);
        ok = ok && encoder.Finish(out);
        EXPECT_FALSE(ok) << c.error;
        EXPECT_EQ(out, c.sent) << c.error;
        EXPECT_NE(encoder.error().find(c.error), std::string::npos) << encoder.error();
    }
}

TEST(Encoder, AgreesWithThePageOnEveryWindows1252Code) {
    // Two tables, one in the sender (iconv's) and one in the page: each printable code
    // the page draws must be the code the sender sends for that character.
    for (int code = 32; code <= 255; ++code) {
        const QString character(QChar(FromWindows1252(static_cast<std::uint8_t>(code))));
        host::Encoder encoder;
        std::string out;
        ASSERT_TRUE(encoder.Feed(character.toStdString(), out)) << code;
        const bool undefined = code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 ||
                               code == 0x9D;  // no character: the sender has no way to them
        EXPECT_EQ(out, undefined ? "?" : std::string(1, static_cast<char>(code))) << code;
    }
}

class HandshakeTest : public pexal_test::PortFileTest {};

TEST_F(HandshakeTest, StoresOnlyIntoAnEmptyPortAndCountsWhatIsTaken) {
    std::atomic<bool> stop = false;
    std::string taken;
    std::thread printer([&] {  // takes each byte as the printer would, without printing
        while (!stop) {
            if (const std::uint8_t b = io::READ_IO_BYTE(130); b != 0 && io::WRITE_IO_BYTE(130, 0)) {
                taken += static_cast<char>(b);
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    host::Handshake link(130, 5s);
    for (char c : std::string("abc")) {
        EXPECT_EQ(link.Put(static_cast<std::uint8_t>(c)), host::Outcome::kDone);
    }
    EXPECT_EQ(link.WaitUntilTaken(), host::Outcome::kDone);
    stop = true;
    printer.join();
    EXPECT_EQ(taken, "abc");
    EXPECT_EQ(link.taken(), 3u);
}

TEST_F(HandshakeTest, WaitsOutAForeignByteThenGivesUpWithoutTouchingIt) {
    setPort(130, 'Z');
    host::Handshake link(130, 50ms);
    EXPECT_EQ(link.Put('a'), host::Outcome::kTimedOut);
    EXPECT_EQ(static_cast<char>(fileBytes()->at(30)), 'Z');
    EXPECT_EQ(link.taken(), 0u);
}

TEST_F(HandshakeTest, UnusablePortFileEndsTheWaitAtOnceAndBusyOneDoesNot) {
    std::filesystem::create_directory(portFile());
    host::Handshake link(130, 600s);  // a wait for the deadline would outlast the test
    EXPECT_EQ(link.Put('a'), host::Outcome::kUnusable);
    EXPECT_EQ(link.failure().kind, io::FailureKind::kUnusable);
    std::filesystem::remove(portFile());

    setPort(130, 0);
    host::Handshake brief(130, 50ms);
    pexal_test::LockHolder host(portFile(), 30, /*exclusive=*/true);
    EXPECT_EQ(brief.Put('a'), host::Outcome::kTimedOut);
    EXPECT_TRUE(brief.failure().busy()) << brief.failure().reason;
}

}  // namespace
