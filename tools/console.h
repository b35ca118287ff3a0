// What pexal-send needs of the system it runs on: stop signals, terminals, standard input
// as bytes, and whether a file exists. One implementation a platform.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>
#include <vector>

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

// Reads standard input, as bytes: how many were read, 0 at its end, -1 on failure with
// `error` set to the system's reason (and stopSignal set when a signal cut the read).
long ReadInput(char* buffer, std::size_t size, std::string* error);

bool Exists(const std::string& path);

#ifdef _WIN32
// The wide arguments wmain is given, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** wide);
#endif

}  // namespace console
