// One printer per port file. Two printers polling one port file split the text between
// their windows and print some bytes twice, so the second to start hands over to the
// first instead. The meeting point is a Unix socket in Linux's abstract namespace named
// after the port file's identity: it writes no file, and it vanishes with the process
// that holds it.
//
// The rule holds for as long as the printers run: each printer looks again every second
// at which file its path names (a directory made, re-made, renamed or mounted over), and
// moves its claim with it; one whose file is now another printer's (for two looks in a
// row) stops. Only a printer of the same user is believed: a name another user holds
// does not stop a printer. One of the same user that does not answer (stopped, say) is
// waited for, not printed beside: it has the page so far, and two printers of one file
// split the text between them.
#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "common/status.h"

class SinglePrinter {
public:
    // Claims `portFile` for this process; `onAnotherStart` runs (in the event loop) each
    // time a later printer for the same file starts and hands over; `onTaken`, when the
    // file this printer's path names became one another printer serves.
    SinglePrinter(const std::string& portFile, std::function<void()> onAnotherStart,
                  std::function<void()> onTaken);
    ~SinglePrinter();
    SinglePrinter(const SinglePrinter&) = delete;
    SinglePrinter& operator=(const SinglePrinter&) = delete;

    // Ok: this process is the printer for the file. Busy: one was already running, and
    // has been asked to come to the front. Timed out: one of this user holds the name but
    // did not answer within a second. Otherwise there was no way to tell (the socket
    // failed), and the reason says why.
    const pexal::Status& claim() const { return claim_; }
    // After a claim that timed out: waits for as long as the holder neither answers nor
    // ends, then claims again.
    const pexal::Status& WaitForAnswer();

private:
    pexal::Status Claim(const std::string& identity, int waitMs);
    void Listen(int fd, const std::string& identity);
    void Recheck();

    std::string portFile_;
    std::string identity_;   // of the file claimed
    std::string contested_;  // a file found another printer's at the last look
    int listening_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer recheck_;
    std::function<void()> onAnotherStart_, onTaken_;
    pexal::Status claim_;
};
