#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/console.h"

namespace console {

volatile std::sig_atomic_t stopSignal = 0;

namespace {
void OnStopSignal(int signal) { stopSignal = signal; }
}  // namespace

// No SA_RESTART: a read of standard input returns at once when a signal comes.
void CatchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A message written into a pipe nobody reads must not end the send half-way, with a
    // byte left in the port: the write fails instead, and the message is lost.
    ::signal(SIGPIPE, SIG_IGN);
}

std::string SignalName(int signal) { return strsignal(signal); }

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool ErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

pexal::Status ReadInput(char* buffer, std::size_t size, std::size_t* read) {
    *read = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, size);
        if (n >= 0) {
            *read = static_cast<std::size_t>(n);
            return {};
        }
        if (errno == EINTR && stopSignal == 0) continue;
        return {pexal::Kind::kUnusable, "", std::strerror(errno)};
    }
}

bool Exists(const std::string& path) {
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace console
