// The printer's receive step: takes one waiting character from the data port and prints it.
//
// Needs the print head initialised, homed and given a page. Runs on the one thread that
// drives the head.
#pragma once

#include <iosfwd>

// One tick: takes the data port's byte (read and clear under one lock) and, only once
// the clear has stuck, prints it. A character whose clear fails stays in the port and is
// printed by the first tick whose clear succeeds, so it is printed once. A lock held
// elsewhere is tried again within the tick, for a few milliseconds at most.
void PollPort();

// Where PollPort says, in one line each, that the port file has been unusable for a
// second (five ticks) and that it works again (std::cerr unless changed); nullptr
// silences it. Not owned; must outlive the ticks. Setting it also forgets any failure
// seen so far.
void SetPortReport(std::ostream* out);
