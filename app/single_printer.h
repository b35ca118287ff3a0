// One printer per port file. Two printers polling one port file split the text between
// their windows and print some bytes twice, so the second to start hands over to the
// first instead. The meeting point is a Unix socket in Linux's abstract namespace named
// after the port file: it writes no file, and it vanishes with the process that holds it.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

class SinglePrinter {
public:
    // Claims `portFile` for this process; `onAnotherStart` runs (in the event loop) each
    // time a later printer for the same file starts and hands over.
    SinglePrinter(const std::string& portFile, std::function<void()> onAnotherStart);
    ~SinglePrinter();
    SinglePrinter(const SinglePrinter&) = delete;
    SinglePrinter& operator=(const SinglePrinter&) = delete;

    enum class Claim {
        kOurs,            // this process is the printer for the file
        kAnotherPrinter,  // one was already running; it has been asked to come to the front
        kUnchecked,       // no way to tell (the socket failed); `error()` says why
    };
    Claim claim() const { return claim_; }
    const std::string& error() const { return error_; }

private:
    int listening_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    Claim claim_ = Claim::kUnchecked;
    std::string error_;
};
