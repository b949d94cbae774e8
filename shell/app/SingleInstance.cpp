#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");
constexpr int kTimeoutMs = 500;

// A socket's path must fit into sockaddr_un (108 bytes with its end), with room for ".<pid>".
constexpr int kMaxSocketFolder = 108 - 1 - 1 - 46 - 11;

bool InRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir()
        && QFile::encodeName(QDir(runtime).absolutePath()).size() <= kMaxSocketFolder;
}

bool Answers(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    const bool ok = socket.waitForConnected(kTimeoutMs);
    socket.abort();
    return ok;
}

} // namespace

CSingleInstance::CSingleInstance(QObject* parent)
    : QObject(parent)
{
}

CSingleInstance::~CSingleInstance() = default;

QString CSingleInstance::BaseName()
{
    return QStringLiteral("Forecast{6B0F3C52-9D4E-4A7B-B1E8-2F5A7C9D0E41}");
}

QString CSingleInstance::SocketFolder()
{
    if (InRuntimeFolder())
        return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).absolutePath();
    return QDir::tempPath();
}

QString CSingleInstance::SocketName()
{
    if (InRuntimeFolder())
        return BaseName();
    // The temporary folder is shared: another user's copy must not take or answer our name.
    return BaseName() + u'-' + QString::number(::getuid());
}

QString CSingleInstance::FindRunning()
{
    const QDir folder(SocketFolder());
    const QString name = SocketName();
    // The base name first: it belongs to the copy that has run longest.
    const QStringList names = folder.entryList({name, name + QStringLiteral(".*")},
                                               QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : names) {
        const QString path = folder.filePath(entry);
        // A socket someone else made under our name is not one of our copies.
        if (QFileInfo(path).ownerId() == ::getuid() && Answers(path))
            return path;
    }
    return QString();
}

bool CSingleInstance::Activate(const QString& socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    socket.write(kActivate);
    const bool written = socket.waitForBytesWritten(kTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

bool CSingleInstance::Register()
{
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);

    const QDir folder(SocketFolder());
    const QString base = folder.filePath(SocketName());
    // A socket file that nobody answers is left over from a copy that did not end normally. One
    // that answers belongs to a running copy: listening would replace it, so take a name of our own.
    bool baseFree = true;
    if (QFileInfo::exists(base)) {
        baseFree = !Answers(base);
        if (baseFree)
            QLocalServer::removeServer(base);
    }
    if (baseFree && m_server->listen(base))
        return true;
    const QString own = base + u'.' + QString::number(QCoreApplication::applicationPid());
    QLocalServer::removeServer(own);
    return m_server->listen(own);
}

QString CSingleInstance::socketPath() const
{
    return m_server ? m_server->fullServerName() : QString();
}

void CSingleInstance::OnConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->canReadLine() && socket->readLine() == kActivate)
                emit activationRequested();
        });
    }
}
