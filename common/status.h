// What a call came to: ok(), or what stopped it, in words a user can act on. Every layer
// passes one up, and the byte or value a call yields goes back separately; each program
// turns a status into its own sentence in one place.
#pragma once

#include <string>

namespace pexal {

enum class Kind {
    kOk,           // the call did what it was asked
    kBusy,         // another process holds a conflicting lock; passes by itself
    kMissing,      // the temporary directory does not exist; it may yet be made
    kNoSlot,       // the port number has no byte in the port file (below 100)
    kUnusable,     // the port file or its directory needs mending before the call can work
    kTimedOut,     // the deadline passed before the port read 0
    kInterrupted,  // a stop signal was raised
    kBadInput,     // the text cannot be sent from here on (invalid UTF-8, a zero)
    kUsage,        // the command line asks for what the program does not do
};

struct Status {
    Kind kind = Kind::kOk;
    std::string path;    // the file the call tried to use, when a file is what failed
    std::string reason;  // empty when ok

    bool ok() const { return kind == Kind::kOk; }
    bool busy() const { return kind == Kind::kBusy; }
    // Whether waiting may mend it: a lock passes, a directory may be made.
    bool mayPass() const { return busy() || kind == Kind::kMissing; }
};

// "cannot use port file '/tmp/dov_port.dat': <reason>": how both programs name a port
// file that failed.
std::string CannotUse(const Status& status);

}  // namespace pexal
