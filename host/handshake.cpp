#include "host/handshake.h"

#include <thread>

namespace host {
namespace {

// Short enough that the sender keeps up with the printer, long enough to cost nothing.
constexpr auto kRetry = std::chrono::milliseconds(1);

}  // namespace

Handshake::Handshake(std::int32_t port, Clock::duration timeout)
    : port_(port), timeout_(timeout) {}

Outcome Handshake::WaitForEmpty() {
    const auto deadline = Clock::now() + timeout_;
    for (;;) {
        io::Failure why;
        const std::uint8_t value = io::READ_IO_BYTE(port_, &why);
        if (why.ok() && value == 0) {
            if (stored_) ++taken_;
            stored_ = false;
            return Outcome::kDone;
        }
        if (!why.ok() && !why.busy()) {
            failure_ = why;
            return Outcome::kUnusable;
        }
        if (Clock::now() >= deadline) {
            failure_ = why;
            return Outcome::kTimedOut;
        }
        std::this_thread::sleep_for(kRetry);
    }
}

Outcome Handshake::Store(std::uint8_t byte) {
    const auto deadline = Clock::now() + timeout_;
    for (;;) {
        io::Failure why;
        if (io::WRITE_IO_BYTE(port_, byte, &why)) {
            stored_ = true;
            return Outcome::kDone;
        }
        failure_ = why;
        if (!why.busy()) return Outcome::kUnusable;
        if (Clock::now() >= deadline) return Outcome::kUnusable;
        std::this_thread::sleep_for(kRetry);
    }
}

Outcome Handshake::Put(std::uint8_t byte) {
    const Outcome free = WaitForEmpty();
    return free == Outcome::kDone ? Store(byte) : free;
}

Outcome Handshake::WaitUntilTaken() { return WaitForEmpty(); }

}  // namespace host
