// The printer's receive step: takes one waiting character from the data port and prints it.
//
// Needs the print head initialised, homed and given a page. Runs on the one thread that
// drives the head.
#pragma once

#include <string>

#include "port/io.h"

// One tick: takes the data port's byte (read and clear under one lock) and, only once
// the clear has stuck, prints it. A character whose clear fails stays in the port and is
// printed by the first tick whose clear succeeds, so it is printed once. A lock held
// elsewhere is tried again within the tick, for a few milliseconds at most. Returns what
// the port file came to.
io::Status PollPort();

// When a user hears about the port file: one line once it has been unusable for a second
// (five ticks), one when it works again; never one a tick. Each window keeps one.
class PortReport {
public:
    // The line to say after a tick that came to `status`, or "" for none.
    std::string Note(const io::Status& status);
    // A window's tick: PollPort, and the line it calls for said on standard error.
    void Tick();

private:
    int failingTicks_ = 0;
    bool reported_ = false;
};
