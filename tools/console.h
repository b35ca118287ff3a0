// What pexal-send needs of the system it runs on: stop signals, terminals, standard input
// as bytes, and whether a file exists. One implementation a platform.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>
#include <vector>

#include "common/status.h"

namespace console {

// The signal (SIGINT, SIGTERM, SIGHUP, or the Windows console's equivalents) that asks
// the program to stop, or 0. Set from a handler; every wait looks at it.
extern volatile std::sig_atomic_t stopSignal;

// From now on, a stop signal sets stopSignal instead of ending the program, and a read of
// standard input returns at once.
void CatchStopSignals();
std::string SignalName(int signal);

bool InputIsTerminal();
bool ErrorIsTerminal();

// Reads standard input, as bytes, into `buffer`: `read` says how many, 0 at its end. Not
// ok when the read failed, with the system's reason (and stopSignal set when a signal cut
// the read).
pexal::Status ReadInput(char* buffer, std::size_t size, std::size_t* read);

bool Exists(const std::string& path);

#ifdef _WIN32
// The wide arguments wmain is given, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** wide);
#endif

}  // namespace console
