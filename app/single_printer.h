// One printer per port file. Two printers polling one port file split the text between
// their windows and print some bytes twice, so the second to start hands over to the
// first instead. The meeting point is a local socket in the abstract namespace named
// after the port file, which writes no file of its own.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

class SinglePrinter {
public:
    // Claims `portFile` for this process; `onAnotherStart` runs (in the event loop) each
    // time a later printer for the same file starts and hands over.
    SinglePrinter(const QString& portFile, std::function<void()> onAnotherStart);

    enum class Claim {
        kOurs,            // this process is the printer for the file
        kAnotherPrinter,  // one was already running; it has been asked to come to the front
        kUnchecked,       // no way to tell (the socket failed); `error()` says why
    };
    Claim claim() const { return claim_; }
    QString error() const { return server_.errorString(); }

private:
    QLocalServer server_;
    Claim claim_ = Claim::kUnchecked;
};
