// The TCP client on real sockets: the POSIX binding against servers on loopback that this
// test starts in-process, and the binding's own translation of errors and readiness.

#include "net/WSockets.h"
#include "platform/linux/sockets/PosixSocketApi.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <memory>
#include <netdb.h>
#include <sys/socket.h>

using namespace winsock;

namespace {

// A server on 127.0.0.1 that greets each connection and, if told so, closes it right after.
class LoopbackServer final
{
public:
    explicit LoopbackServer(QByteArray greeting = {}, bool closeAfterGreeting = false)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, greeting, closeAfterGreeting] {
            while (QTcpSocket* peer = m_server.nextPendingConnection()) {
                m_peers << peer;
                peer->write(greeting);
                if (closeAfterGreeting)
                    peer->disconnectFromHost();
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString Port() const { return QString::number(m_server.serverPort()); }
    QTcpSocket* Peer() const { return m_peers.value(0); }

    // An abortive close: SO_LINGER 0 makes the kernel answer with a reset.
    void Reset()
    {
        const linger abortive { 1, 0 };
        setsockopt(static_cast<int>(Peer()->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        Peer()->abort();
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_peers;
};

struct Client
{
    PosixSocketApi api;
    TTCPClient tcp { api, nullptr };
    QStringList errors;
    int connects = 0;
    int closes = 0;

    Client(const QString& host, const QString& port)
    {
        tcp.SetHost(host);
        tcp.SetPort(port);
        tcp.OnError = [this](TCustomWSocket*, int error, const QString& text) {
            errors << QStringLiteral("%1 %2").arg(error).arg(text);
        };
        tcp.OnConnect = [this](TCustomWSocket*, int) { ++connects; };
        tcp.OnClose = [this](TCustomWSocket*, int) { ++closes; };
    }
};

} // namespace

class TcpClientLoopbackTest final : public QObject
{
    Q_OBJECT

private slots:
    void longReplyThenPeerClose_data();
    void longReplyThenPeerClose();
    void connectionWithoutData_data();
    void connectionWithoutData();
    void unknownNameIsHostNotFound();
    void nestedLoopReceivesFurtherNotifications();
    void readIsSignalledOnceUntilRecvThenClose();
    void errorsBecomeWsaCodes_data();
    void errorsBecomeWsaCodes();
};

void TcpClientLoopbackTest::longReplyThenPeerClose_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("dotted") << "127.0.0.1";
    QTest::newRow("name from the hosts file") << "localhost";
}

void TcpClientLoopbackTest::longReplyThenPeerClose()
{
    QFETCH(QString, host);
    QByteArray reply(3000, '\0');
    for (int i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<char>(i * 7);
    LoopbackServer server(reply, true);
    Client c(host, server.Port());
    QList<int> sizes;
    QByteArray received;
    QString localAddress;
    c.tcp.OnData = [&](TCustomWSocket*, int) {
        QCOMPARE(c.tcp.State(), ssConnected);
        localAddress = c.tcp.ConnectionLocalAddress();
        const QString text = c.tcp.ReceiveText();
        sizes << int(text.size());
        received += text.toLatin1();
    };
    c.tcp.Open();
    QCOMPARE(c.tcp.State(), ssConnecting);
    QTRY_COMPARE_WITH_TIMEOUT(c.closes, 1, 5000);
    QCOMPARE(received, reply);
    QCOMPARE(sizes.first(), 1024);
    QVERIFY(sizes.size() >= 3);
    for (const int size : sizes)
        QVERIFY(size > 0 && size <= 1024);
    QCOMPARE(localAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(c.connects, 1);
    QCOMPARE(c.tcp.State(), ssIdle);
    QVERIFY2(c.errors.isEmpty(), qPrintable(c.errors.join('\n')));
    QTest::qWait(50);
    QCOMPARE(c.closes, 1);
}

void TcpClientLoopbackTest::connectionWithoutData_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<int>("closes");
    QTest::addColumn<int>("after");
    // Refused comes from the connect notification, never from Open, and leaves the owner to Close.
    QTest::newRow("refused") << "none" << QStringList { "10061 Connection refused" } << 0 << int(ssConnecting);
    QTest::newRow("reset: a close, not an error") << "reset" << QStringList() << 1 << int(ssIdle);
    QTest::newRow("silent") << "silent" << QStringList() << 0 << int(ssConnected);
}

void TcpClientLoopbackTest::connectionWithoutData()
{
    QFETCH(QString, peer);
    QFETCH(QStringList, errors);
    QFETCH(int, closes);
    QFETCH(int, after);
    auto server = std::make_unique<LoopbackServer>();
    Client c(QStringLiteral("127.0.0.1"), server->Port());
    if (peer == "none")
        server.reset(); // nothing listens on that port any more
    int data = 0;
    c.tcp.OnData = [&](TCustomWSocket*, int) { ++data; };
    c.tcp.Open();
    QVERIFY(c.errors.isEmpty());
    if (peer == "reset") {
        QTRY_VERIFY_WITH_TIMEOUT(c.tcp.State() == ssConnected && server->Peer() != nullptr, 5000);
        server->Reset();
    }
    const bool silent = peer == "silent";
    QCOMPARE(QTest::qWaitFor([&] { return !c.errors.isEmpty() || c.closes > 0; }, silent ? 200 : 5000), !silent);
    QTest::qWait(50);
    QCOMPARE(c.errors, errors);
    QCOMPARE(c.closes, closes);
    QCOMPARE(int(c.tcp.State()), after);
    QCOMPARE(data, 0);
    c.tcp.Close();
    QCOMPARE(c.tcp.State(), ssIdle);
    QCOMPARE(c.errors, errors);
}

void TcpClientLoopbackTest::unknownNameIsHostNotFound()
{
    // glibc refuses a name with blanks before asking any name server, so no DNS is involved.
    Client c(QStringLiteral("no such host"), QStringLiteral("37"));
    c.tcp.Open();
    QTRY_COMPARE_WITH_TIMEOUT(c.errors, QStringList { "11001 Host not found" }, 5000);
    QCOMPARE(c.tcp.State(), ssIdle);
}

void TcpClientLoopbackTest::nestedLoopReceivesFurtherNotifications()
{
    LoopbackServer server("first");
    Client c(QStringLiteral("127.0.0.1"), server.Port());
    int depth = 0;
    int depthAtSecond = 0;
    c.tcp.OnData = [&](TCustomWSocket*, int) {
        ++depth;
        const QString text = c.tcp.ReceiveText();
        if (text == QLatin1String("first")) {
            server.Peer()->write("second");
            // Waits as the mail check does: by pumping messages, bounded.
            QVERIFY(QTest::qWaitFor([&] { return depthAtSecond != 0; }, 5000));
        } else if (text == QLatin1String("second")) {
            depthAtSecond = depth;
        }
        --depth;
    };
    c.tcp.Open();
    QTRY_VERIFY_WITH_TIMEOUT(depthAtSecond != 0, 6000);
    QCOMPARE(depthAtSecond, 2);
    c.tcp.Close();
}

void TcpClientLoopbackTest::readIsSignalledOnceUntilRecvThenClose()
{
    LoopbackServer server("xy", true);
    Client c(QStringLiteral("127.0.0.1"), server.Port());
    int data = 0;
    c.tcp.OnData = [&](TCustomWSocket*, int) { ++data; }; // reads nothing
    c.tcp.Open();
    QTRY_COMPARE_WITH_TIMEOUT(data, 1, 5000);
    char byte = 0;
    for (int read = 1; read <= 2; ++read) {
        QTest::qWait(100); // unread data is not signalled again, and the close waits behind it
        QCOMPARE(data, read);
        QCOMPARE(c.closes, 0);
        QCOMPARE(c.tcp.ReceiveBuffer(&byte, 1), 1);
        QTRY_VERIFY_WITH_TIMEOUT(data + c.closes == read + 1, 5000); // "y" waits after "x"
    }
    QCOMPARE(c.closes, 1);
    QCOMPARE(byte, 'y');
}

void TcpClientLoopbackTest::errorsBecomeWsaCodes_data()
{
    QTest::addColumn<bool>("resolver"); // else errno
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");
    QTest::newRow("refused") << false << ECONNREFUSED << 10061;
    QTest::newRow("host unreachable") << false << EHOSTUNREACH << 10065;
    QTest::newRow("would block") << false << EAGAIN << 10035;
    QTest::newRow("broken pipe") << false << EPIPE << 10058;
    QTest::newRow("unknown errno") << false << EIO << 10091;
    QTest::newRow("no name") << true << EAI_NONAME << 11001;
    QTest::newRow("again") << true << EAI_AGAIN << 11002;
    QTest::newRow("fail") << true << EAI_FAIL << 11003;
    QTest::newRow("no IPv4") << true << EAI_ADDRFAMILY << 11004;
    QTest::newRow("system, with ENOBUFS") << true << EAI_SYSTEM << 10055;
}

void TcpClientLoopbackTest::errorsBecomeWsaCodes()
{
    QFETCH(bool, resolver);
    QFETCH(int, error);
    QFETCH(int, code);
    QCOMPARE(resolver ? PosixSocketApi::WsaErrorFromResolver(error, ENOBUFS) : PosixSocketApi::WsaErrorFromErrno(error),
             code);
}

QTEST_GUILESS_MAIN(TcpClientLoopbackTest)
#include "TcpClientLoopbackTest.moc"
