// What a host-side call came to: ok(), or what stopped it and why. The handshake and the
// encoder both answer with one, so a sender handles every failure the same way.
#pragma once

#include <string>

namespace host {

enum class Outcome {
    kDone,         // the call did what it was asked
    kTimedOut,     // the deadline passed before the port read 0
    kUnusable,     // the port file failed in a way waiting does not mend
    kInterrupted,  // the cancel flag was raised
    kBadInput,     // the text cannot be sent from here on (invalid UTF-8, a zero)
};

struct Status {
    Outcome outcome = Outcome::kDone;
    std::string reason;  // in words a user can act on; empty when ok
    std::string path;    // the port file, when the port file is what failed

    bool ok() const { return outcome == Outcome::kDone; }
};

}  // namespace host
