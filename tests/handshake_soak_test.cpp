// A real sender in another process against the poll cycle in a tight loop: every byte
// handed over by the handshake must be printed once, in order. SOAK_BYTES sets the length.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <iostream>
#include <random>
#include <thread>
#include <tuple>
#include <sstream>
#include <vector>

#include "port/io.h"
#include "port/poll_port.h"
#include "tests/kit.h"

namespace {

// Runs `step` over and over in a forked process until stopped, then hands back what
// `finish` says. Stopped (and waited for) when destroyed, so no loop outlives its test.
class ChildLoop {
public:
    ChildLoop(std::function<void()> step, std::function<std::string()> finish) {
        int stop[2], result[2];
        if (::pipe(stop) != 0 || ::pipe(result) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(stop[1]);
            ::close(result[0]);
            pollfd stopped = {stop[0], POLLIN, 0};
            while (::poll(&stopped, 1, 0) == 0) step();
            const std::string report = finish();
            (void)!::write(result[1], report.data(), report.size());
            ::_exit(0);
        }
        ::close(stop[0]);
        ::close(result[1]);
        stop_ = stop[1];
        result_ = result[0];
    }
    ChildLoop(const ChildLoop&) = delete;
    ChildLoop& operator=(const ChildLoop&) = delete;
    ~ChildLoop() {
        if (pid_ > 0) stop();
    }
    std::string stop() {
        ::close(stop_);
        std::string report;
        char buffer[4096];
        for (ssize_t n; (n = ::read(result_, buffer, sizeof buffer)) > 0;) report.append(buffer, n);
        ::close(result_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return report;
    }

private:
    pid_t pid_;
    int stop_, result_;
};

// Writes port 131 as fast as it can, ignoring the handshake, and checks after each write
// that its byte is still there. stop() gives {writes, writes whose byte did not survive,
// last value written}.
class HostileWriter {
public:
    HostileWriter()
        : loop_(
              [this] {
                  value_ = static_cast<std::uint8_t>(value_ % 255 + 1);
                  if (!io::WRITE_IO_BYTE(131, value_).ok()) return;
                  ++writes_;
                  if (io::READ_IO_BYTE(131) != value_) ++lost_;
              },
              [this] {
                  return std::to_string(writes_) + " " + std::to_string(lost_) + " " +
                         std::to_string(value_);
              }) {}
    std::vector<long> stop() {
        std::istringstream in(loop_.stop());
        std::vector<long> numbers(3);
        in >> numbers[0] >> numbers[1] >> numbers[2];
        return numbers;
    }

private:
    long writes_ = 0, lost_ = 0;
    std::uint8_t value_ = 0;
    ChildLoop loop_;  // last: starts once the counters exist
};

class HandshakeSoak : public pexal_test::PollTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HandshakeSoak, EveryByteArrivesOnceAndInOrder) {
    const bool hostile = GetParam();
    const unsigned seed = 20261208u + (hostile ? 1 : 0);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(SOAK_BYTES) + " bytes");
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(1, 255);
    std::string bytes(SOAK_BYTES, '\0');
    for (char& c : bytes) c = static_cast<char>(byte(random));

    setFileBytes(std::string(32, '\0'));
    std::optional<HostileWriter> writer;
    if (hostile) writer.emplace();

    head.reset();
    const std::vector<pexal_test::Mark> expected = pexal_test::PrintDirectly(bytes);
    printed = &head.emplace().page;
    pexal_test::Child sender({PEXAL_SEND_PATH, "--raw", "--timeout", "30"}, true);
    std::thread feed([&] {
        sender.Write(bytes);
        sender.CloseInput();
    });
    const int status = pollUntilExit(sender, std::chrono::seconds(SOAK_BYTES / 10));
    feed.join();

    EXPECT_EQ(status, 0) << "the sender gave up";
    const auto& marks = printed->marks;
    std::cout << bytes.size() << " bytes sent, " << marks.size() << " marks printed, "
              << expected.size() << " expected\n";
    EXPECT_EQ(fileBytes()->at(30), '\0');
    ASSERT_EQ(marks.size(), expected.size()) << "bytes lost or printed twice";
    for (std::size_t k = 0; k < expected.size(); ++k) {
        ASSERT_EQ(marks[k], expected[k]) << "first difference at mark " << k;
    }
    if (writer) {
        const auto [writes, lost, last] = std::tuple{0, 1, 2};
        const std::vector<long> result = writer->stop();
        std::cout << "port 131: " << result[writes] << " hostile writes, " << result[lost]
                  << " overwritten\n";
        EXPECT_GT(result[writes], 0);
        EXPECT_EQ(result[lost], 0) << "the printer overwrote port 131";
        EXPECT_EQ(static_cast<std::uint8_t>(fileBytes()->at(31)), result[last]);
    }
}

INSTANTIATE_TEST_SUITE_P(AloneAndBesideAHostileWriter, HandshakeSoak, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Hostile131" : "Alone"; });

// A second taker in another process, polling as fast as it can beside the printer: a
// read and a clear in two steps would let both take one byte, or clear a byte the sender
// stored between them. Every byte must be taken exactly once, by one or the other.
TEST_F(HandshakeSoak, TwoTakersNeverShareOrDropAByte) {
    std::string bytes;
    for (int k = 0; k < SOAK_BYTES / 2; ++k) bytes += static_cast<char>('a' + k % 26);
    setFileBytes(std::string(32, '\0'));
    std::string othersTake;
    ChildLoop other(
        [&] {
            if (const std::uint8_t b = pexal_test::TakeByte(130)) othersTake += static_cast<char>(b);
        },
        [&] { return othersTake; });
    pexal_test::Child sender({PEXAL_SEND_PATH, "--raw", "-n", "--timeout", "30", bytes});
    EXPECT_EQ(pollUntilExit(sender), 0);

    std::string taken = printed->text() + other.stop();
    std::cout << printed->text().size() << " bytes printed here, "
              << taken.size() - printed->text().size() << " by the other taker\n";
    std::string sent = bytes;
    std::sort(taken.begin(), taken.end());
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(taken.size(), sent.size()) << "bytes taken twice or lost";
    EXPECT_TRUE(taken == sent);
}


}  // namespace
