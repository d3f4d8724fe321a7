#include "app/SingleInstance.h"

#include "common/Trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace vx8 {

namespace {
const QByteArray RaiseRequest = "RAISE\n";
const QByteArray RaiseAnswer = "RAISED\n";
constexpr int WaitMs = 3000;
} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString& programFolder, QObject* parent)
    : QObject(parent), m_name(serverName(programFolder))
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

QString SingleInstanceGuard::serverName(const QString& programFolder)
{
    QString path = QDir::cleanPath(QDir(programFolder).absolutePath());
    QString name = QStringLiteral("VX8") + QString(path).remove(u'/').remove(u'\\');
    // A socket path holds at most 107 bytes, and the socket lives in the temporary folder.
    constexpr int MaxName = 64;
    if (name.toUtf8().size() > MaxName) {
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
        QString head = name.left(MaxName - 17);
        while (head.toUtf8().size() > MaxName - 17) {
            head.chop(1);
        }
        name = head + u'-' + hash;
    }
    return name;
}

bool SingleInstanceGuard::askRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(WaitMs)) {
        return false;
    }
    socket.write(RaiseRequest);
    socket.flush();
    socket.waitForBytesWritten(WaitMs);
    // The first copy answers once it has raised its window; an old socket nobody serves does not.
    while (socket.bytesAvailable() < RaiseAnswer.size() && socket.waitForReadyRead(WaitMs)) {
    }
    return socket.readAll().startsWith(RaiseAnswer.trimmed());
}

bool SingleInstanceGuard::acquire()
{
    LocalDebugString(QStringLiteral("SingleInstanceGuard"));
    // Two copies started at the same moment decide one after the other.
    QLockFile lock(QDir::temp().filePath(m_name + QStringLiteral(".lock")));
    lock.setStaleLockTime(10000);
    lock.tryLock(WaitMs);

    if (askRunningCopy()) {
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A socket left behind by a copy that ended without cleaning up.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            qCWarning(lcApp).noquote() << "Single-instance guard cannot listen on" << m_name << ":"
                                       << m_server->errorString();
            return true;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (!s->canReadLine()) {
                    return;
                }
                const QByteArray line = s->readLine();
                if (line == RaiseRequest) {
                    if (onRaiseRequested) {
                        onRaiseRequested();
                    }
                    s->write(RaiseAnswer);
                    s->flush();
                }
                s->disconnectFromServer();
            });
        }
    });
    return true;
}

} // namespace vx8
