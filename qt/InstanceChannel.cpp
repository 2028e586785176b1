#include "qt/InstanceChannel.h"

#include <QDir>
#include <QLocalSocket>
#include <sstream>
#include <unistd.h>

namespace m470::qt {

std::string FormatInstanceMessage(const InstanceMessage& message) {
    return message.name + " " + std::to_string(message.wParam) + " " + std::to_string(message.lParam) + "\n";
}

std::optional<InstanceMessage> ParseInstanceMessage(const std::string& line) {
    std::istringstream words(line);
    InstanceMessage message;
    if (!(words >> message.name)) return std::nullopt;
    long long wParam = 0, lParam = 0;
    if (words >> wParam) {
        if (!(words >> lParam)) lParam = 0;
    } else {
        wParam = 0;
    }
    message.wParam = static_cast<intptr_t>(wParam);
    message.lParam = static_cast<intptr_t>(lParam);
    return message;
}

QString InstanceSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime) + "/" + kInstanceName;
    return QDir::tempPath() + "/" + kInstanceName + "-" + QString::number(::getuid());
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
}

InstanceServer::~InstanceServer() { Close(); }

bool InstanceServer::Listen() {
    const QString path = InstanceSocketPath();
    if (server_.listen(path)) return true;
    // Somebody answers: another copy runs. Nobody answers: a stale socket.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(300)) return false;
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

void InstanceServer::Close() {
    for (const QPointer<QLocalSocket>& socket : listeners_)
        if (socket) socket->disconnectFromServer();
    listeners_.clear();
    server_.close();  // the socket file goes with it, so a new start runs at once
}

void InstanceServer::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        listeners_.push_back(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const std::string line = socket->readLine().trimmed().toStdString();
                if (auto message = ParseInstanceMessage(line)) emit messageReceived(*message, socket);
            }
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void InstanceServer::Broadcast(const InstanceMessage& message) {
    const QByteArray line = QByteArray::fromStdString(FormatInstanceMessage(message));
    for (const QPointer<QLocalSocket>& socket : listeners_)
        if (socket && socket->state() == QLocalSocket::ConnectedState) socket->write(line);
}

bool SendToRunningInstance(const InstanceMessage& message, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(QByteArray::fromStdString(FormatInstanceMessage(message)));
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}

}  // namespace m470::qt
