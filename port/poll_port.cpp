#include "port/poll_port.h"

#include <iostream>
#include <string>

#include "common/facts.h"
#include "port/io.h"
#include "printhead/general.h"

namespace {

std::ostream* report = &std::cerr;
bool portUsable = true;

// One line per change, never one per tick: a port file that stays broken stays quiet.
void NoteOutcome(bool ok, const io::Failure& why) {
    if (ok == portUsable) return;
    portUsable = ok;
    if (report == nullptr) return;
    if (ok) {
        *report << "pexal-printer: port file " << io::PortFilePath() << " works again"
                << std::endl;
    } else {
        *report << "pexal-printer: cannot use port file " << why.path << ": " << why.reason
                << std::endl;
    }
}

}  // namespace

void SetPortReport(std::ostream* out) {
    report = out;
    portUsable = true;
}

void PollPort() {
    const std::int32_t port = pexal::kDataPort;
    io::Failure why;
    const std::uint8_t code = io::READ_IO_BYTE(port, &why);
    if (code == 0) {
        NoteOutcome(why.ok(), why);
        return;
    }
    // Clearing before printing means a clear that fails cannot make the character print
    // again on every tick; a sender waiting for 0 sees no difference.
    const bool cleared = io::WRITE_IO_BYTE(port, 0, &why);
    NoteOutcome(cleared, why);
    if (cleared) General::PrintChar(std::string(1, static_cast<char>(code)));
}
