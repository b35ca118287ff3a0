// What pexal-send shows on a terminal while it sends: one line on standard error,
// rewritten in place, and ended before anything else is said. Shows nothing when
// standard error is not a terminal.
#pragma once

#include <cstdint>
#include <string>

// "1 byte", "2 bytes".
std::string Bytes(std::uint64_t n);

class Progress {
public:
    explicit Progress(bool onTerminal) : onTerminal_(onTerminal) {}

    // `taken` bytes have been taken so far.
    void Taken(std::uint64_t taken);
    // The printer has not taken byte `byte` for a while; says where it waits.
    void Waiting(std::uint64_t taken, std::uint64_t byte, const std::string& portFile, bool exists);
    // Ends the line, if one is shown, with the final count.
    void End(std::uint64_t taken);

private:
    void Show(const std::string& line);

    const bool onTerminal_;
    bool shown_ = false;
};
