#include "ui/WindowBeacon.h"

#include <QCryptographicHash>
#include <QLocalSocket>

#include <unistd.h>

QString WindowBeacon::SocketName(const WideString& title)
{
    // A window is found within its user's session: the session's runtime directory is part of the name,
    // so two sessions of one user (or two test runs, each with a directory of its own) stay apart.
    QByteArray bytes(reinterpret_cast<const char*>(title.c_str()), title.GetLength() * 2);
    bytes += '\0';
    bytes += qgetenv("XDG_RUNTIME_DIR");
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    return QStringLiteral("deviceprobe.%1.%2").arg(getuid()).arg(QString::fromLatin1(digest));
}

WindowBeacon::WindowBeacon(const WideString& title, std::function<void()> onRaiseIn)
    : onRaise(std::move(onRaiseIn))
{
    server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server.listen(SocketName(title)))
        return;
    QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
        while (QLocalSocket* peer = server.nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                while (peer->canReadLine()) {
                    if (peer->readLine() != RaiseRequest)
                        continue;
                    onRaise();
                    peer->write(RaiseReply);
                    peer->flush();
                }
                // A peer that sends a lot without line ends is not one of ours.
                if (peer->bytesAvailable() > 64)
                    peer->abort();
            });
        }
    });
}
