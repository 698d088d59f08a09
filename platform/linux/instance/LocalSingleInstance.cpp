#include "platform/linux/instance/LocalSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray Request = QByteArrayLiteral("kronvik hand-over\n");
const QByteArray Accepted = QByteArrayLiteral("accepted\n");
constexpr qint64 MaxLine = 64;
// A later copy that connects and then says nothing is dropped after this.
constexpr int ConversationMs = 2000;

constexpr char SocketSuffix[] = ".socket";
// A socket address holds the socket's path with a terminating zero.
constexpr qsizetype SocketPathLimit = sizeof(sockaddr_un::sun_path) - 1;
// "sha1-" and 40 hexadecimal digits.
constexpr qsizetype DigestLength = 45;

// How long a socket's file stem may be inside the folder.
qsizetype StemRoom(const QString& folder)
{
    return SocketPathLimit - QFile::encodeName(folder).size() - 1 - qsizetype(sizeof(SocketSuffix) - 1);
}

// The stem of the lock's and the socket's file names. Names that could be no file name of their
// own, and long names, whose socket's path would not fit a socket address, are replaced by their
// digest.
QString FileStem(const QString& folder, const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    if (bytes.size() <= std::min<qsizetype>(64, StemRoom(folder)) && !bytes.contains('/') && !bytes.contains('\0')
        && name != QLatin1String(".") && name != QLatin1String(".."))
        return name;
    return QStringLiteral("sha1-")
        + QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

} // namespace

LocalSingleInstance::LocalSingleInstance(QString folder)
    : m_folder(std::move(folder))
{ }

LocalSingleInstance::~LocalSingleInstance()
{
    Unlock();
}

bool LocalSingleInstance::HoldsSockets(const QString& folder)
{
    return StemRoom(folder) >= DigestLength;
}

QString LocalSingleInstance::FilePath(const QString& name, const char* suffix) const
{
    return QDir(m_folder).filePath(FileStem(m_folder, name) + QLatin1String(suffix));
}

SingleInstance::LockResult LocalSingleInstance::Lock(const QString& name)
{
    Unlock();
    if (m_folder.isEmpty() || name.isEmpty())
        return LockResult::Failed;
    // Close-on-exec: a program started from the launcher must not keep the lock after this copy ends.
    const int file
        = open(QFile::encodeName(FilePath(name, ".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0)
        return LockResult::Failed;
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        close(file);
        return held ? LockResult::Held : LockResult::Failed;
    }
    m_lockFile = file;
    m_name = name;
    return LockResult::Acquired;
}

void LocalSingleInstance::Unlock()
{
    // The socket goes first, while the lock still keeps every other copy from listening there.
    m_server.reset();
    m_onRequest = nullptr;
    if (m_lockFile >= 0)
        close(m_lockFile);
    m_lockFile = -1;
    m_name.clear();
}

bool LocalSingleInstance::Listen(std::function<void()> onRequest)
{
    if (m_lockFile < 0) {
        m_listenError = QStringLiteral("no lock is held");
        return false;
    }
    const QString path = FilePath(m_name, SocketSuffix);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Only the holder of the lock gets here, so a socket file already there is a crashed copy's.
    QLocalServer::removeServer(path);
    if (!server->listen(path)) {
        m_listenError = path + QStringLiteral(": ") + server->errorString();
        return false;
    }
    m_onRequest = std::move(onRequest);
    m_server = std::move(server);
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] { Accept(); });
    return true;
}

void LocalSingleInstance::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(ConversationMs, socket, [socket] { socket->abort(); });
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > MaxLine)
                    socket->abort();
                return;
            }
            if (socket->readLine(MaxLine + 1) != Request) {
                socket->abort();
                return;
            }
            socket->write(Accepted);
            socket->flush();
            socket->disconnectFromServer();
            if (m_onRequest)
                m_onRequest();
        });
    }
}

bool LocalSingleInstance::RequestHandOver(const QString& name, int timeoutMs)
{
    if (m_folder.isEmpty() || name.isEmpty())
        return false;
    const QString path = FilePath(name, SocketSuffix);
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed())); };
    for (int attempt = 0; attempt < 1000 && left() > 0; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(left())) {
            // Not listening yet (still starting), or a socket file whose copy is gone.
            QThread::msleep(20);
            continue;
        }
        socket.write(Request);
        if (!socket.waitForBytesWritten(left()))
            return false;
        while (!socket.canReadLine() && socket.bytesAvailable() <= MaxLine && socket.waitForReadyRead(left())) { }
        return socket.readLine(MaxLine + 1) == Accepted;
    }
    return false;
}
