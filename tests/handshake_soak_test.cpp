// A real sender in another process against the poll cycle in a tight loop: every byte
// handed over by the handshake must be printed once, in order. SOAK_BYTES sets the length.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Writes port 131 as fast as it can, ignoring the handshake, and checks after each write
// that its byte is still there. Reports "writes lost last" when stopped.
class HostileWriter {
public:
    HostileWriter() {
        int stop[2], result[2];
        if (::pipe(stop) != 0 || ::pipe(result) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(stop[1]);
            ::close(result[0]);
            long writes = 0, lost = 0;
            std::uint8_t value = 0;
            pollfd stopped = {stop[0], POLLIN, 0};
            while (::poll(&stopped, 1, 0) == 0) {
                value = static_cast<std::uint8_t>(value % 255 + 1);
                if (!io::WRITE_IO_BYTE(131, value)) continue;
                ++writes;
                if (io::READ_IO_BYTE(131) != value) ++lost;
            }
            const std::string report = std::to_string(writes) + " " + std::to_string(lost) +
                                       " " + std::to_string(value);
            (void)!::write(result[1], report.data(), report.size());
            ::_exit(0);
        }
        ::close(stop[0]);
        ::close(result[1]);
        stop_ = stop[1];
        result_ = result[0];
    }
    HostileWriter(const HostileWriter&) = delete;
    HostileWriter& operator=(const HostileWriter&) = delete;
    ~HostileWriter() {
        if (pid_ > 0) stop();
    }
    // Stops the writer: {writes, writes whose byte did not survive, last value written}.
    std::vector<long> stop() {
        ::close(stop_);
        char text[64] = {};
        (void)!::read(result_, text, sizeof text - 1);
        ::close(result_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        std::istringstream in(text);
        std::vector<long> numbers(3);
        in >> numbers[0] >> numbers[1] >> numbers[2];
        return numbers;
    }

private:
    pid_t pid_;
    int stop_, result_;
};

class HandshakeSoak : public pexal_test::PortFileTest,
                      public ::testing::WithParamInterface<bool> {
protected:
};

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

    const std::vector<pexal_test::Mark> expected = pexal_test::PrintDirectly(bytes);
    pexal_test::HeadOnPage head;
    SetPortReport(nullptr);  // lock contention in a tight loop is expected here
    pexal_test::Child sender({PEXAL_SEND_PATH, "--raw", "--timeout", "30"}, true);
    std::thread feed([&] {
        sender.Write(bytes);
        sender.CloseInput();
    });
    std::optional<int> status;
    while (!(status = sender.Finished())) PollPort();
    feed.join();

    EXPECT_EQ(*status, 0) << "the sender gave up";
    const auto& printed = head.page.marks;
    std::cout << bytes.size() << " bytes sent, " << printed.size() << " marks printed, "
              << expected.size() << " expected\n";
    EXPECT_EQ(fileBytes()->at(30), '\0');
    ASSERT_EQ(printed.size(), expected.size()) << "bytes lost or printed twice";
    for (std::size_t k = 0; k < expected.size(); ++k) {
        ASSERT_EQ(printed[k], expected[k]) << "first difference at mark " << k;
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

}  // namespace
