#include "port/poll_port.h"

#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "common/facts.h"
#include "common/text.h"
#include "port/io.h"
#include "printhead/general.h"

namespace {

// A host's lock lasts microseconds; a few short tries keep such a collision from
// delaying the byte a whole tick, and cost at most 10 ms of the 200 ms tick.
constexpr int kBusyTries = 5;
constexpr auto kFirstBusyPause = std::chrono::milliseconds(1);

// Only a port file that stays unusable for a whole second is worth telling anyone about.
constexpr int kFailingTicksBeforeReport = pexal::kTicksPerSecond;

std::ostream* report = &std::cerr;
int failingTicks = 0;
bool reported = false;

// One line when the port file has been unusable for a second, one when it works again;
// never one per tick. A report that cannot be written is dropped.
void NoteOutcome(const io::Failure& why) {
    if (why.ok()) {
        failingTicks = 0;
        if (!reported) return;
        reported = false;
        if (report == nullptr) return;
        report->clear();
        *report << "pexal-printer: port file " << pexal::QuotePath(io::PortFilePath())
                << " works again"
                << std::endl;
        return;
    }
    if (reported || ++failingTicks < kFailingTicksBeforeReport) return;
    reported = true;
    if (report == nullptr) return;
    report->clear();
    *report << "pexal-printer: cannot use port file " << pexal::QuotePath(why.path) << ": "
            << why.reason
            << std::endl;
}

}  // namespace

void SetPortReport(std::ostream* out) {
    report = out;
    failingTicks = 0;
    reported = false;
}

void PollPort() {
    const std::int32_t port = pexal::kDataPort;
    io::Failure why;
    std::uint8_t code = 0;
    for (int attempt = 1;; ++attempt) {
        why = {};
        // One open, one exclusive lock: the byte is printed only once its clear has
        // stuck, so a clear that fails cannot make it print again on every tick.
        code = io::TAKE_IO_BYTE(port, &why);
        if (!why.busy() || attempt == kBusyTries) break;
        std::this_thread::sleep_for(attempt * kFirstBusyPause);
    }
    NoteOutcome(why);
    if (code != 0) General::PrintChar(std::string(1, static_cast<char>(code)));
}
