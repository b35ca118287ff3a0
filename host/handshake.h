// The host's side of the printer handshake: a byte is stored only when the data port
// reads 0 (checked and stored under one lock), and counts as taken once the printer has
// cleared the port again. A lock held by someone else, or a temporary directory not made
// yet, is waited out; any other failure of the port file ends the wait. A byte of ours
// still in the port can be taken back.
//
// The host may remove, replace or move the port file during a text; the sender lock is
// not in the file, so it stays. A byte of ours is looked for in the file it was stored in:
// taken there, it counts; not taken, it is taken back from there, and the file the path
// names now decides: holding it too (a copy), it waits there; untouched since, it gets it
// stored again; written since while not holding it, whether the printer took a copy
// cannot be known, and that ends the text, as does a file cut short below our byte.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>

#include "common/facts.h"
#include "common/status.h"
#include "port/io.h"

namespace host {

using pexal::Status;

using Clock = std::chrono::steady_clock;

class Handshake {
public:
    // `timeout` bounds each wait for the port to read 0.
    explicit Handshake(std::int32_t port = pexal::kDataPort,
                       Clock::duration timeout = std::chrono::seconds(10));

    // Takes the port's sender lock, once, without waiting: busy while another sender
    // holds it. Held until destruction; the handshake goes through it.
    Status Hold() {
        Status why = lock_.TryLock(port_);
        holding_ = why.ok();
        return why;
    }

    // Waits until the port reads 0, then stores `byte`. Not ok: kTimedOut, kUnusable
    // (with the port file's path and reason) or kInterrupted.
    Status Put(std::uint8_t byte);
    // Waits until the port reads 0: the printer has taken the last byte put.
    Status WaitUntilTaken();
    // Takes our last byte back if the printer has not taken it: true when withdrawn; when
    // it was taken meanwhile it counts as taken.
    bool Withdraw();

    // Waits end with kInterrupted once `*flag` is not 0 (a signal handler's flag).
    void SetCancel(const volatile std::sig_atomic_t* flag) { cancel_ = flag; }
    // Called every 100 to 200 ms of a wait with the number of the byte waited for (from 1)
    // and how long the wait has lasted.
    std::function<void(std::uint64_t, Clock::duration)> onWait;

    // Bytes stored and then seen taken.
    std::uint64_t taken() const { return taken_; }
    // Whether a byte of ours may still be in the port (or is yet to be stored again).
    bool pending() const { return stored_ || resend_; }

private:
    // Waits until the port reads 0; with `store`, stores `byte` there in the same step.
    Status Wait(bool store, std::uint8_t byte);
    // When the path no longer names the held file: settles our byte there and holds the
    // file the path names. Ok to go on, with `why` saying whether the port may be looked
    // at now (busy or missing: look again).
    Status Follow(Status* why);

    const std::int32_t port_;
    const Clock::duration timeout_;
    const volatile std::sig_atomic_t* cancel_ = nullptr;
    io::SenderLock lock_;
    bool holding_ = false;  // the sender lock was taken: its file follows the path
    bool stored_ = false;  // a byte of ours may still be in the port
    bool resend_ = false;  // our last byte, taken back from a replaced file, to store again
    std::uint8_t last_ = 0;
    std::uint64_t taken_ = 0;
    Clock::time_point lastTake_{};  // when a byte of ours was last seen taken; {} for never
    bool quick_ = true;             // takes have come faster than a printer's ticks
};

}  // namespace host
