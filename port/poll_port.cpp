#include "port/poll_port.h"

#include <chrono>
#include <thread>

#include "common/facts.h"
#include "common/text.h"
#include "printhead/general.h"

namespace {

// A host's lock lasts microseconds; a few short tries keep such a collision from
// delaying the byte a whole tick, and cost at most 10 ms of the 200 ms tick.
constexpr int kBusyTries = 5;
constexpr auto kFirstBusyPause = std::chrono::milliseconds(1);

// Only a port file that stays unusable for a whole second is worth telling anyone about.
constexpr int kFailingTicksBeforeReport = pexal::kTicksPerSecond;

}  // namespace

std::string PortReport::Note(const io::Status& status) {
    if (status.ok()) {
        failingTicks_ = 0;
        if (!reported_) return "";
        reported_ = false;
        return "port file " + pexal::QuotePath(io::PortFilePath()) + " works again";
    }
    if (reported_ || ++failingTicks_ < kFailingTicksBeforeReport) return "";
    reported_ = true;
    return pexal::CannotUse(status);
}

void PortReport::Tick() {
    if (const std::string line = Note(PollPort()); !line.empty()) pexal::Say(pexal::kPrinter, line);
}

io::Status PollPort() {
    const std::int32_t port = pexal::kDataPort;
    io::Status why;
    std::uint8_t code = 0;
    for (int attempt = 1;; ++attempt) {
        // One open, one exclusive lock: the byte is printed only once its clear has
        // stuck, so a clear that fails cannot make it print again on every tick.
        why = io::TAKE_IO_BYTE(port, &code);
        if (!why.busy() || attempt == kBusyTries) break;
        std::this_thread::sleep_for(attempt * kFirstBusyPause);
    }
    if (code != 0) General::PrintChar(std::string(1, static_cast<char>(code)));
    return why;
}
