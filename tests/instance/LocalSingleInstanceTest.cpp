#include "platform/linux/instance/LocalSingleInstance.h"

#include "platform/linux/instance/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using LockResult = SingleInstance::LockResult;

namespace {

int Mode(const QString& path)
{
    struct stat info
    { };
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// Leaves a socket file behind as a copy killed while listening does.
bool LeaveStaleSocket(const QString& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound && QFile::exists(path);
}

// Asks for the hand-over from another thread while this one runs the holder's event loop.
bool HandOverFromThread(const QString& folder, const QString& name, bool& answered)
{
    bool accepted = false;
    std::unique_ptr<QThread> later(QThread::create([&] {
        LocalSingleInstance copy(folder);
        accepted = copy.RequestHandOver(name, 5000);
    }));
    later->start();
    const bool finished = QTest::qWaitFor([&] { return later->isFinished(); }, 10000);
    later->wait();
    QCoreApplication::processEvents();
    return finished && accepted && answered;
}

} // namespace

// The Linux lock and hand-over channel on real files and sockets in a private temporary folder.
class LocalSingleInstanceTest final : public QObject
{
    Q_OBJECT

private slots:
    void privateFolder_data();
    void privateFolder();
    void oneHolderAtATime();
    void lockEndsWithTheProcessNotItsChildren();
    void handOverReachesTheHolder_data();
    void handOverReachesTheHolder();
    void noHolderNoHandOver();

private:
    QTemporaryDir m_dir;
};

void LocalSingleInstanceTest::privateFolder_data()
{
    QTest::addColumn<QString>("runtime"); // relative to the temporary folder; empty: unset
    QTest::addColumn<QString>("prepare"); // what stands at the folder's place already
    QTest::addColumn<QString>("expected"); // empty: refused

    const QString fallback = QStringLiteral("tmp/kronvik-%1").arg(geteuid());
    QTest::newRow("inside the runtime folder") << "run"
                                               << ""
                                               << "run/kronvik";
    QTest::newRow("no runtime folder: private one below tmp") << ""
                                                              << "" << fallback;
    QTest::newRow("a relative runtime folder counts as none") << "relative"
                                                              << "" << fallback;
    QTest::newRow("a runtime folder too deep for a socket address") << QString(80, 'r') << "" << fallback;
    QTest::newRow("already there and private") << ""
                                               << "private" << fallback;
    QTest::newRow("open to others") << ""
                                    << "open"
                                    << "";
    QTest::newRow("a symbolic link") << ""
                                     << "link"
                                     << "";
    QTest::newRow("a file") << ""
                            << "file"
                            << "";
    QTest::newRow("another user's") << ""
                                    << "foreign"
                                    << "";
}

void LocalSingleInstanceTest::privateFolder()
{
    QFETCH(QString, runtime);
    QFETCH(QString, prepare);
    QFETCH(QString, expected);

    QTemporaryDir base;
    QDir dir(base.path());
    dir.mkpath(runtime.isEmpty() ? "run" : runtime);
    dir.mkpath("tmp");
    const QString place = dir.filePath(QStringLiteral("tmp/kronvik-%1").arg(geteuid()));
    const QByteArray placePath = QFile::encodeName(place);
    if (prepare == "private" || prepare == "open" || prepare == "foreign")
        QCOMPARE(mkdir(placePath.constData(), prepare == "open" ? 0755 : 0700), 0);
    if (prepare == "open")
        QCOMPARE(chmod(placePath.constData(), 0755), 0);
    if (prepare == "link") {
        dir.mkpath("elsewhere");
        QCOMPARE(chmod(QFile::encodeName(dir.filePath("elsewhere")).constData(), 0700), 0);
        QVERIFY(QFile::link(dir.filePath("elsewhere"), place));
    }
    if (prepare == "file") {
        QFile file(place);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (prepare == "foreign") {
        if (geteuid() != 0)
            QSKIP("only root can make a folder another user's");
        QCOMPARE(chown(placePath.constData(), 65534, 65534), 0);
    }

    const QString runtimeDir = runtime == "relative" ? QStringLiteral("run")
        : runtime.isEmpty()                          ? QString()
                                                     : dir.filePath(runtime);
    const QString folder = PrivateRuntimeFolder(runtimeDir, dir.filePath("tmp"));

    QCOMPARE(folder, expected.isEmpty() ? QString() : dir.filePath(expected));
    if (!folder.isEmpty())
        QCOMPARE(Mode(folder), 0700);
}

void LocalSingleInstanceTest::oneHolderAtATime()
{
    LocalSingleInstance first(m_dir.path());
    LocalSingleInstance second(m_dir.path());
    LocalSingleInstance otherName(m_dir.path());
    QCOMPARE(first.Lock("kronvik"), LockResult::Acquired);
    QCOMPARE(second.Lock("kronvik"), LockResult::Held);
    QCOMPARE(otherName.Lock("Kronvik2"), LockResult::Acquired);
    first.Unlock();
    QCOMPARE(second.Lock("kronvik"), LockResult::Acquired);
    QCOMPARE(LocalSingleInstance(QString()).Lock("kronvik"), LockResult::Failed);
    QCOMPARE(LocalSingleInstance(m_dir.path()).Lock(QString()), LockResult::Failed);
}

void LocalSingleInstanceTest::lockEndsWithTheProcessNotItsChildren()
{
    // A copy killed outright leaves its lock to the next start.
    int ready[2];
    QCOMPARE(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        LocalSingleInstance holder(m_dir.path());
        const char locked = holder.Lock("killed") == LockResult::Acquired ? 'y' : 'n';
        [[maybe_unused]] const ssize_t written = write(ready[1], &locked, 1);
        pause();
        _exit(0);
    }
    char locked = 0;
    QCOMPARE(read(ready[0], &locked, 1), 1);
    QCOMPARE(locked, 'y');
    LocalSingleInstance next(m_dir.path());
    QCOMPARE(next.Lock("killed"), LockResult::Held);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    QCOMPARE(next.Lock("killed"), LockResult::Acquired);

    // A program started while the lock is held (the launcher's) does not keep it after us.
    QProcess program;
    program.start("sleep", { "10" });
    QVERIFY(program.waitForStarted());
    next.Unlock();
    QCOMPARE(LocalSingleInstance(m_dir.path()).Lock("killed"), LockResult::Acquired);
    program.kill();
    program.waitForFinished();
}

void LocalSingleInstanceTest::handOverReachesTheHolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("staleSocket");

    QTest::newRow("plain") << "kronvik" << false;
    QTest::newRow("a crashed copy's socket file is in the way") << "crashed" << true;
    QTest::newRow("a name too long for a socket address") << QString(200, QLatin1Char('k')) << false;
}

void LocalSingleInstanceTest::handOverReachesTheHolder()
{
    QFETCH(QString, name);
    QFETCH(bool, staleSocket);

    if (staleSocket)
        QVERIFY(LeaveStaleSocket(QDir(m_dir.path()).filePath(name + ".socket")));
    LocalSingleInstance holder(m_dir.path());
    bool answered = false;
    QVERIFY(!holder.Listen([&] { answered = true; })); // only the lock's holder listens
    QCOMPARE(holder.Lock(name), LockResult::Acquired);
    QVERIFY(holder.Listen([&] { answered = true; }));

    QVERIFY(HandOverFromThread(m_dir.path(), name, answered));
}

void LocalSingleInstanceTest::noHolderNoHandOver()
{
    LocalSingleInstance later(m_dir.path());
    QVERIFY(!later.RequestHandOver("nobody", 200));
    QVERIFY(LeaveStaleSocket(QDir(m_dir.path()).filePath("gone.socket")));
    QVERIFY(!later.RequestHandOver("gone", 200));
}

QTEST_GUILESS_MAIN(LocalSingleInstanceTest)
#include "LocalSingleInstanceTest.moc"
