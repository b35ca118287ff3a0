#include "app/single_printer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

// Printers started in different directories with a relative TMPDIR still meet when they
// name the same file; printers for different files never do.
QString ServerName(const QString& portFile) {
    const QString absolute = QDir::cleanPath(QFileInfo(portFile).absoluteFilePath());
    const QByteArray digest =
        QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256).toHex();
    return "pexal-printer-" + QString::fromLatin1(digest.left(32));
}

bool AskToComeToTheFront(const QString& name) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(2000)) return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return true;
}

}  // namespace

SinglePrinter::SinglePrinter(const QString& portFile, std::function<void()> onAnotherStart) {
    const QString name = ServerName(portFile);
    server_.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    // Listening is the claim, and only one process can listen on a name; a printer that
    // lost the race but finds nobody to talk to (the first just ended) tries again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (server_.listen(name)) {
            claim_ = Claim::kOurs;
            QObject::connect(&server_, &QLocalServer::newConnection, [this, onAnotherStart] {
                while (QLocalSocket* other = server_.nextPendingConnection()) {
                    QObject::connect(other, &QLocalSocket::disconnected, other,
                                     &QObject::deleteLater);
                    onAnotherStart();
                }
            });
            return;
        }
        if (server_.serverError() != QAbstractSocket::AddressInUseError) return;
        if (AskToComeToTheFront(name)) {
            claim_ = Claim::kAnotherPrinter;
            return;
        }
    }
}
