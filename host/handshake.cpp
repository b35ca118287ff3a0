#include "host/handshake.h"

#include <thread>

#include "port/io.h"

namespace host {
namespace {

// Short enough that the sender keeps up with the printer, long enough to cost nothing.
constexpr auto kRetry = std::chrono::milliseconds(1);
constexpr auto kWaitReport = std::chrono::milliseconds(100);

}  // namespace

Handshake::Handshake(std::int32_t port, Clock::duration timeout)
    : port_(port), timeout_(timeout) {}

Status Handshake::Wait(bool store, std::uint8_t byte) {
    const auto start = Clock::now();
    auto nextReport = start + kWaitReport;
    for (;;) {
        if (cancel_ != nullptr && *cancel_ != 0) return {Outcome::kInterrupted, "", ""};
        io::Failure why;
        // Storing checks for 0 under the same lock, so nobody's byte is overwritten.
        const std::uint8_t held =
            store ? io::SWAP_IO_BYTE(port_, 0, byte, &why) : io::READ_IO_BYTE(port_, &why);
        if (why.ok() && held == 0) {
            if (stored_) ++taken_;
            stored_ = store;
            last_ = byte;
            return {};
        }
        if (!why.ok() && !why.mayPass()) return {Outcome::kUnusable, why.reason, why.path};
        const auto now = Clock::now();
        if (now - start >= timeout_) return {Outcome::kTimedOut, why.reason, why.path};
        if (onWait && now >= nextReport) {
            onWait(taken_ + 1, now - start);
            nextReport = now + kWaitReport;
        }
        std::this_thread::sleep_for(kRetry);
    }
}

// The store itself finds the port at 0 (our last byte taken) before it stores: one
// transfer a try, not a read and then a store.
Status Handshake::Put(std::uint8_t byte) { return Wait(true, byte); }

Status Handshake::WaitUntilTaken() { return Wait(false, 0); }

bool Handshake::Withdraw() {
    if (!stored_) return false;
    // A lock held by the printer passes within microseconds: try a little while.
    for (int attempt = 0; attempt < 100; ++attempt) {
        io::Failure why;
        const std::uint8_t held = io::SWAP_IO_BYTE(port_, last_, 0, &why);
        if (why.busy()) {
            std::this_thread::sleep_for(kRetry);
            continue;
        }
        if (!why.ok()) break;
        stored_ = false;
        if (held == last_) return true;
        ++taken_;  // the printer took it meanwhile
        return false;
    }
    return false;
}

}  // namespace host
