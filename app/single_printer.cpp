#include "app/single_printer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>

#include "port/io.h"

namespace {

// Printers meet when their port files are one file, however its directory is named: a
// symbolic link, a bind mount, "..", a relative TMPDIR. The directory's device and inode
// say so; a directory that does not exist (yet) is named by its path made absolute and
// plain ("//d", "/./d" and "/d" are one), as raw bytes, since a path need not be text.
std::string Identity(const std::string& portFile) {
    namespace fs = std::filesystem;
    struct stat info = {};
    if (::stat(io::DirectoryOf(portFile).c_str(), &info) == 0) {
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + "/" +
               fs::path(portFile).filename().string();
    }
    std::error_code ignored;
    std::string plain = fs::absolute(fs::path(portFile), ignored).lexically_normal().string();
    while (plain.rfind("//", 0) == 0) plain.erase(0, 1);
    return "path " + plain;
}

// The abstract address: a leading zero byte, then the name, with no terminator.
socklen_t Address(const std::string& identity, sockaddr_un* address) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(identity), QCryptographicHash::Sha256).toHex();
    const std::string name = "pexal-printer-" + digest.left(32).toStdString();
    *address = {};
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

int NewSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

enum class Answer { kServes, kNoLonger, kSilent, kNobody };

// Asks the printer holding the name whether it still prints from that file (it says '1'
// and comes to the front, or '0'). A holder of another user is nobody: it is not believed.
// One of this user that says nothing within `waitMs` (-1: until it answers or ends) is
// silent: stopped, or too busy to answer.
Answer Ask(const sockaddr_un& address, socklen_t length, int waitMs) {
    const int fd = NewSocket();
    if (fd < 0) return Answer::kNobody;
    Answer answer = Answer::kNobody;
    pollfd wait = {fd, POLLOUT, 0};
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
                           (errno == EINPROGRESS && ::poll(&wait, 1, 1000) == 1);
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (connected && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid()) {
        wait = {fd, POLLIN, 0};
        char said = 0;
        int ready;
        while ((ready = ::poll(&wait, 1, waitMs)) < 0 && errno == EINTR) {
        }
        if (ready == 0) {
            answer = Answer::kSilent;
        } else {
            // Said nothing and went: it ended, and its name with it.
            answer = ::read(fd, &said, 1) == 1 && said == '1' ? Answer::kServes : Answer::kNoLonger;
        }
    }
    ::close(fd);
    return answer;
}

}  // namespace

SinglePrinter::SinglePrinter(const std::string& portFile, std::function<void()> onAnotherStart,
                             std::function<void()> onTaken)
    : portFile_(portFile), onAnotherStart_(std::move(onAnotherStart)), onTaken_(std::move(onTaken)) {
    identity_ = Identity(portFile_);
    claim_ = Claim(identity_, 1000);
    if (claim_.busy()) return;
    recheck_.setInterval(1000);
    QObject::connect(&recheck_, &QTimer::timeout, [this] { Recheck(); });
    recheck_.start();
}

// Binding is the claim, and only one process can bind a name. A holder that no longer
// prints from the file is about to let go of the name: it is tried for again.
pexal::Status SinglePrinter::Claim(const std::string& identity, int waitMs) {
    using pexal::Kind;
    sockaddr_un address;
    const socklen_t length = Address(identity, &address);
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = NewSocket();
        if (fd < 0) {
            return {Kind::kUnusable, portFile_, std::strerror(errno)};
        }
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 && ::listen(fd, 8) == 0) {
            Listen(fd, identity);
            return {};
        }
        const int error = errno;
        ::close(fd);
        if (error != EADDRINUSE) {
            return {Kind::kUnusable, portFile_, std::strerror(error)};
        }
        switch (Ask(address, length, waitMs)) {
            case Answer::kServes:
                return {Kind::kBusy, portFile_, "another printer prints from it"};
            case Answer::kSilent:
                return {Kind::kTimedOut, portFile_, "the printer holding it does not answer"};
            case Answer::kNobody:
                return {Kind::kUnusable, portFile_, "another program holds the name printers meet by"};
            case Answer::kNoLonger:
                ::usleep(100 * 1000);
                break;
        }
    }
    return {Kind::kUnusable, portFile_, "the printer holding the name does not let go of it"};
}

void SinglePrinter::Listen(int fd, const std::string& identity) {
    notifier_.reset();
    if (listening_ >= 0) ::close(listening_);
    listening_ = fd;
    identity_ = identity;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        for (int other; (other = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            const bool serves = Identity(portFile_) == identity_;
            const char answer = serves ? '1' : '0';
            (void)!::write(other, &answer, 1);
            ::close(other);
            if (serves) {
                onAnotherStart_();
            } else {  // after this handler: the claim moves, and with it this notifier
                QTimer::singleShot(0, &recheck_, [this] { Recheck(); });
                return;
            }
        }
    });
}

// The file the path names may have changed: the claim moves to it. Where another printer
// serves it, this one stops, but only once that has held for two looks a second apart: a
// directory swapped back and forth may name the other's file for a moment only. Where no
// claim can be had, it prints on unchecked (and tries again when the file changes).
void SinglePrinter::Recheck() {
    const std::string now = Identity(portFile_);
    if (now == identity_ && contested_.empty()) return;
    notifier_.reset();
    if (listening_ >= 0) ::close(listening_);
    listening_ = -1;
    identity_ = now;
    claim_ = Claim(now, 1000);
    if (!claim_.busy()) {
        contested_.clear();
        return;
    }
    if (contested_ != now || Identity(portFile_) != now) {
        contested_ = now;
        return;
    }
    recheck_.stop();
    onTaken_();
}

const pexal::Status& SinglePrinter::WaitForAnswer() {
    if (claim_.kind == pexal::Kind::kTimedOut) claim_ = Claim(identity_, -1);
    if (claim_.busy()) recheck_.stop();
    return claim_;
}

SinglePrinter::~SinglePrinter() {
    notifier_.reset();
    if (listening_ >= 0) ::close(listening_);
}
