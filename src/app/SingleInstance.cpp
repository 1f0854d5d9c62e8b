#include "app/SingleInstance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace orvex {

namespace {

// One instance per user and display: a second login session (or a test's private X server)
// gets its own, while two starts on one desktop meet. Characters a socket name cannot hold
// ('/' of a Wayland socket path, ':' of an X display) become '_'.
QString defaultName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    QString name = QString("orvex-%1").arg(::getuid());
    if (!display.isEmpty()) name += '-' + display;
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != '-') c = '_';
    return name;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), mName(name.isEmpty() ? defaultName() : std::move(name)) {}

bool SingleInstance::forwardToRunningInstance(const QStringList& files, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(mName);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QStringList absolute;
    for (const QString& file : files) absolute << QFileInfo(file).absoluteFilePath();
    socket.write((absolute.join('\n') + '\n').toUtf8());
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(timeoutMs);
}

bool SingleInstance::listen() {
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!mServer->listen(mName)) {
        QLocalServer::removeServer(mName);
        if (!mServer->listen(mName)) return false;
    }
    connect(mServer, &QLocalServer::newConnection, this, &SingleInstance::readConnection);
    return true;
}

// The sender writes its paths, one a line, and closes; they are taken once it has.
void SingleInstance::readConnection() {
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            const QStringList files = QString::fromUtf8(socket->readAll()).split('\n', Qt::SkipEmptyParts);
            socket->deleteLater();
            emit filesReceived(files);
        });
    }
}

}  // namespace orvex
