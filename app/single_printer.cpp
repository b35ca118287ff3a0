#include "app/single_printer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

std::string WorkingDirectory() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : ".";
}

// Printers meet when their port files are one file, however its directory is named: a
// symbolic link, a bind mount, "..", a relative TMPDIR. The directory's device and inode
// say so; only a directory that does not exist (yet) is named by its path, as raw bytes,
// since a path need not be text.
std::string ServerName(const std::string& portFile) {
    const auto slash = portFile.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : slash == 0 ? "/" : portFile.substr(0, slash);
    struct stat info = {};
    const std::string identity =
        ::stat(directory.c_str(), &info) == 0
            ? "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + "/" +
                  portFile.substr(slash + 1)
            : "path " + (portFile.front() == '/' ? portFile : WorkingDirectory() + "/" + portFile);
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(identity), QCryptographicHash::Sha256)
            .toHex();
    return "pexal-printer-" + digest.left(32).toStdString();
}

// The abstract address: a leading zero byte, then the name, with no terminator.
socklen_t Address(const std::string& name, sockaddr_un* address) {
    *address = {};
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

int NewSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

// True when a printer answered; connecting is all it needs to come to the front.
bool AskToComeToTheFront(const sockaddr_un& address, socklen_t length) {
    const int fd = NewSocket();
    if (fd < 0) return false;
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 || errno == EAGAIN;
    ::close(fd);
    return answered;
}

}  // namespace

SinglePrinter::SinglePrinter(const std::string& portFile, std::function<void()> onAnotherStart) {
    sockaddr_un address;
    const socklen_t length = Address(ServerName(portFile), &address);
    // Binding is the claim, and only one process can bind a name; a printer that lost the
    // race but finds nobody to talk to (the first has just ended) tries again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = NewSocket();
        if (fd < 0) {
            error_ = std::strerror(errno);
            return;
        }
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
            ::listen(fd, 8) == 0) {
            listening_ = fd;
            claim_ = Claim::kOurs;
            notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated, [fd, onAnotherStart] {
                for (int other; (other = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                    ::close(other);
                    onAnotherStart();
                }
            });
            return;
        }
        const int error = errno;
        ::close(fd);
        if (error != EADDRINUSE) {
            error_ = std::strerror(error);
            return;
        }
        if (AskToComeToTheFront(address, length)) {
            claim_ = Claim::kAnotherPrinter;
            return;
        }
    }
    error_ = "the printer holding the name does not answer";
}

SinglePrinter::~SinglePrinter() {
    notifier_.reset();
    if (listening_ >= 0) ::close(listening_);
}
