#include "tools/progress.h"

#include <iostream>

std::string Bytes(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// A carriage return back to the line's start, and an erase of what an earlier, longer
// line left to the right.
void Progress::Show(const std::string& line) {
    if (!onTerminal_) return;
    std::cerr << "\rpexal-send: " << line << "\033[K" << std::flush;
    shown_ = true;
}

void Progress::Taken(std::uint64_t taken) { Show(Bytes(taken) + " taken"); }

void Progress::Waiting(std::uint64_t taken, std::uint64_t byte, const std::string& portFile,
                       bool exists) {
    Show(Bytes(taken) + " taken; waiting for the printer to take byte " + std::to_string(byte) +
         " (port file " + portFile + (exists ? " exists" : " does not exist") + ")");
}

void Progress::End(std::uint64_t taken) {
    if (!shown_) return;
    Show(Bytes(taken) + " taken");
    std::cerr << "\n";
    shown_ = false;
}
