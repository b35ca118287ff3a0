#include "host/handshake.h"

#include <algorithm>
#include <thread>


namespace host {

using pexal::Kind;

namespace {

// How often to look at the port. A printer takes a byte only at its ticks, every 200 ms,
// so most looks would be wasted. Once a take has shown where the ticks fall, the sender
// sleeps until just before the next tick and looks closely around it (a coarse timer may
// fire 5 % early or late). Without that, it looks every 10 ms for a tick and a little
// more, so that even the first byte is taken and the next stored soon after the tick, and
// every 100 ms after that, when no printer seems to be running. Each wait starts with a
// quick look, 2 ms in, for a taker that polls without pause; one that took the last byte
// that quickly is looked at every 2 ms for a while longer.
constexpr auto kQuickStep = std::chrono::milliseconds(2);
constexpr auto kQuickStart = std::chrono::milliseconds(2);
constexpr auto kQuickFor = std::chrono::milliseconds(50);
constexpr auto kCloseBefore = std::chrono::milliseconds(10);
constexpr auto kCloseAfter = std::chrono::milliseconds(30);
constexpr auto kCloseStep = std::chrono::milliseconds(2);
constexpr auto kQuietStep = std::chrono::milliseconds(10);
constexpr auto kQuietFor = std::chrono::milliseconds(250);
constexpr auto kIdleStep = std::chrono::milliseconds(100);
// A take-back that finds the printer's lock on the port tries again this soon: the printer
// holds it for microseconds.
constexpr auto kRetry = std::chrono::milliseconds(1);
constexpr auto kWaitReport = std::chrono::milliseconds(100);

}  // namespace

Handshake::Handshake(std::int32_t port, Clock::duration timeout)
    : port_(port), timeout_(timeout) {}

Status Handshake::Wait(bool store, std::uint8_t byte) {
    const auto start = Clock::now();
    auto nextReport = start + kWaitReport;
    bool phased = lastTake_ != Clock::time_point{};  // whether the printer's ticks are known
    Clock::time_point tick = lastTake_ + pexal::kPollInterval;  // its next take, then
    while (phased && tick + kCloseAfter < start) tick += pexal::kPollInterval;
    for (;;) {
        if (cancel_ != nullptr && *cancel_ != 0) return {Kind::kInterrupted, "", ""};
        Status why;
        if (const Status followed = Follow(&why); !followed.ok()) return followed;
        std::uint8_t held = 1;  // not empty, until a look says otherwise
        if (why.ok() && stored_ && lock_.SlotCut(port_)) {
            stored_ = false;
            return {Kind::kUnusable, io::PortFilePath(),
                    "it was cut short while byte " + std::to_string(taken_ + 1) +
                        " waited in it, so whether the printer took that byte cannot be known"};
        }
        if (why.ok() && resend_) {  // ours first, where the printer looks now
            std::uint8_t was = 0;
            if ((why = lock_.Swap(port_, 0, last_, &was)).ok() && was == 0) {
                resend_ = false;
                stored_ = true;
            }
        } else if (why.ok()) {
            // Storing checks for 0 under the same lock, so nobody's byte is overwritten.
            why = store ? lock_.Swap(port_, 0, byte, &held) : lock_.Read(port_, &held);
        }
        const auto now = Clock::now();
        if (why.ok() && held == 0) {
            if (stored_) {
                ++taken_;
                quick_ = now - start < kQuickFor;
                lastTake_ = now;
            }
            stored_ = store;
            last_ = byte;
            return {};
        }
        if (!why.ok() && !why.mayPass()) return {Kind::kUnusable, why.path, why.reason};
        if (now - start >= timeout_) return {Kind::kTimedOut, why.path, why.reason};
        if (onWait && now >= nextReport) {
            onWait(taken_ + 1, now - start);
            nextReport = now + kWaitReport;
        }
        if (phased && now > tick + kCloseAfter) phased = false;  // not where it was: look anew
        Clock::duration pause = now - start < kQuietFor ? kQuietStep : kIdleStep;
        if (now - start < (quick_ ? kQuickFor : kQuickStart)) {
            pause = kQuickStep;
        } else if (phased) {
            pause = now >= tick - kCloseBefore ? Clock::duration(kCloseStep)
                                               : tick - kCloseBefore - now;
        }
        // Reports wait for the next look: waking for them would cost a look each. A port
        // file replaced meanwhile wakes the sender at once, before the printer's next tick.
        const auto sleep = std::chrono::ceil<std::chrono::milliseconds>(std::min(pause, start + timeout_ - now));
        lock_.Sleep(static_cast<int>(std::max<std::int64_t>(sleep.count(), 0)));
    }
}

// The store itself finds the port at 0 (our last byte taken) before it stores: one
// transfer a try, not a read and then a store.
Status Handshake::Put(std::uint8_t byte) { return Wait(true, byte); }

Status Handshake::WaitUntilTaken() { return Wait(false, 0); }

// A replaced file tells whether our byte was taken: the printer took it there, or the
// new file holds it too, or nobody ever will. Until the path names a usable file again,
// `why` says why the sender waits.
Status Handshake::Follow(Status* why) {
    if (!holding_ || (lock_.Held() && lock_.StillNamed())) return {};
    using Fate = io::SenderLock::Fate;
    Fate fate = Fate::kNone;
    *why = lock_.Move(port_, stored_, last_, &fate);
    switch (fate) {
        case Fate::kNone:
        case Fate::kWaitsInNewFile:
            break;
        case Fate::kTaken:
            stored_ = false;
            ++taken_;
            lastTake_ = Clock::now();
            break;
        case Fate::kStoreAgain:
            stored_ = false;
            resend_ = true;
            break;
        case Fate::kUnknown:
            stored_ = false;
            return {Kind::kUnusable, io::PortFilePath(),
                    "it was replaced while byte " + std::to_string(taken_ + 1) +
                        " waited in it, and the new file was written before that byte could be "
                        "looked for there, so whether the printer took it cannot be known"};
    }
    return {};
}

bool Handshake::Withdraw() {
    if (resend_) {  // taken back from a replaced file, and not stored again
        resend_ = false;
        return true;
    }
    if (!stored_) return false;
    // A lock held by the printer passes within microseconds: try a little while.
    for (int attempt = 0; attempt < 100; ++attempt) {
        // From the file it was stored in, wherever the path points now.
        std::uint8_t held = 0;
        const Status why = lock_.SwapHeld(port_, last_, 0, &held);
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
