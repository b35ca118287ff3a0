// The printer's receive step: takes one waiting character from the data port and prints it.
//
// Needs the print head initialised, homed and given a page. Runs on the one thread that
// drives the head.
#pragma once

#include <iosfwd>

// One tick: reads the data port; when a character waits there, clears the port and, only
// once the clear has stuck, prints the character. A character whose clear fails stays in
// the port and is printed by the first tick whose clear succeeds, so it is printed once.
void PollPort();

// Where PollPort says, in one line each, that the port file has become unusable and that
// it works again (std::cerr unless changed); nullptr silences it. Not owned; must outlive
// the ticks. Setting it also forgets any failure seen so far.
void SetPortReport(std::ostream* out);
