// The host's side of the printer handshake: a byte is stored only when the data port
// reads 0, and counts as taken once the printer has cleared the port again. A lock held
// by someone else is waited out; any other failure of the port file ends the wait.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/facts.h"
#include "port/io.h"

namespace host {

using Clock = std::chrono::steady_clock;

enum class Outcome {
    kDone,      // the port read 0 (or the byte was stored)
    kTimedOut,  // the deadline passed first
    kUnusable,  // the port file failed in a way waiting does not mend; see the Failure
};

class Handshake {
public:
    // `timeout` bounds each wait for the port to read 0, and each store.
    explicit Handshake(std::int32_t port = pexal::kDataPort,
                       Clock::duration timeout = std::chrono::seconds(10));

    // Waits until the port reads 0, then stores `byte`.
    Outcome Put(std::uint8_t byte);
    // Waits until the port reads 0: the printer has taken the last byte put.
    Outcome WaitUntilTaken();

    // Bytes stored and then seen taken.
    std::uint64_t taken() const { return taken_; }
    // Why the last call did not end in kDone.
    const io::Failure& failure() const { return failure_; }
    std::int32_t port() const { return port_; }

private:
    Outcome WaitForEmpty();
    Outcome Store(std::uint8_t byte);

    const std::int32_t port_;
    const Clock::duration timeout_;
    bool stored_ = false;  // a byte of ours may still be in the port
    std::uint64_t taken_ = 0;
    io::Failure failure_;
};

}  // namespace host
