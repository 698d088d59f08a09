// The TCP client on real sockets: the POSIX binding against servers on loopback that this
// test starts in-process, and the binding's own translation of errors and readiness.

#include "net/WSockets.h"
#include "platform/linux/PosixSocketApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

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
                if (!greeting.isEmpty())
                    peer->write(greeting);
                if (closeAfterGreeting)
                    peer->disconnectFromHost();
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString Port() const { return QString::number(m_server.serverPort()); }
    QTcpSocket* Peer() const { return m_peers.isEmpty() ? nullptr : m_peers.first(); }

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

// A port on loopback where nothing listens (it was bound a moment ago).
QString ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QString::number(probe.serverPort());
}

struct Client
{
    PosixSocketApi api;
    TTCPClient tcp { api, [this](const std::exception& e) { exceptions << QString::fromStdString(e.what()); } };
    QStringList errors;
    QStringList exceptions;
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

// Receives notifications the way the client's hidden window does, for testing the binding alone.
class NotificationRecorder final : public QObject
{
public:
    QStringList seen;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != SocketMessageEvent::Type())
            return QObject::event(event);
        const auto* message = static_cast<const SocketMessageEvent*>(event);
        seen << QStringLiteral("%1/%2").arg(SelectEvent(message->LParam())).arg(SelectError(message->LParam()));
        return true;
    }
};

void Pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

class TcpClientLoopbackTest final : public QObject
{
    Q_OBJECT

private slots:
    void connectReadAndPeerClose_data();
    void connectReadAndPeerClose();
    void refusedIsReportedByNotification();
    void resetClosesWithoutReport();
    void silentServerKeepsConnection();
    void longReplyArrivesIn1024ByteReads();
    void unknownNameIsHostNotFound();
    void nestedLoopReceivesFurtherNotifications();
    void destroyedWhileConnecting();
    void readIsSignalledOnceUntilRecv();
    void closeIsSignalledAfterPendingData();
    void errnoBecomesWsaCode_data();
    void errnoBecomesWsaCode();
    void resolverResultBecomesWsaCode_data();
    void resolverResultBecomesWsaCode();
};

void TcpClientLoopbackTest::connectReadAndPeerClose_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("dotted") << "127.0.0.1";
    QTest::newRow("name from the hosts file") << "localhost";
}

void TcpClientLoopbackTest::connectReadAndPeerClose()
{
    QFETCH(QString, host);
    LoopbackServer server("\x83\xaa\x7e\x80", true);
    Client c(host, server.Port());
    QByteArray answer;
    QString localAddress;
    TSocketState stateAtData = ssIdle;
    c.tcp.OnData = [&](TCustomWSocket*, int) {
        char buffer[4];
        const int count = c.tcp.ReceiveBuffer(buffer, 4);
        answer += QByteArray(buffer, count);
        stateAtData = c.tcp.State();
        localAddress = c.tcp.ConnectionLocalAddress();
    };
    c.tcp.Open();
    QCOMPARE(c.tcp.State(), ssConnecting);
    QTRY_COMPARE_WITH_TIMEOUT(c.closes, 1, 5000);
    QCOMPARE(answer, QByteArray("\x83\xaa\x7e\x80"));
    QCOMPARE(stateAtData, ssConnected);
    QCOMPARE(localAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(c.connects, 1);
    QCOMPARE(c.tcp.State(), ssIdle);
    QVERIFY2(c.errors.isEmpty(), qPrintable(c.errors.join('\n')));
    Pump(50);
    QCOMPARE(c.closes, 1);
}

void TcpClientLoopbackTest::refusedIsReportedByNotification()
{
    Client c(QStringLiteral("127.0.0.1"), ClosedPort());
    c.tcp.Open();
    QVERIFY(c.errors.isEmpty()); // not from Open: from the connect notification
    QTRY_COMPARE_WITH_TIMEOUT(c.errors, QStringList { "10061 Connection refused" }, 5000);
    QCOMPARE(c.tcp.State(), ssConnecting);
    c.tcp.Close();
    QCOMPARE(c.tcp.State(), ssIdle);
    Pump(50);
    QCOMPARE(c.errors.size(), 1);
    QCOMPARE(c.connects, 0);
}

void TcpClientLoopbackTest::resetClosesWithoutReport()
{
    LoopbackServer server;
    Client c(QStringLiteral("127.0.0.1"), server.Port());
    c.tcp.Open();
    QTRY_VERIFY_WITH_TIMEOUT(c.tcp.State() == ssConnected && server.Peer() != nullptr, 5000);
    server.Reset();
    QTRY_COMPARE_WITH_TIMEOUT(c.closes, 1, 5000);
    QCOMPARE(c.tcp.State(), ssIdle);
    QVERIFY2(c.errors.isEmpty(), qPrintable(c.errors.join('\n')));
}

void TcpClientLoopbackTest::silentServerKeepsConnection()
{
    LoopbackServer server;
    Client c(QStringLiteral("127.0.0.1"), server.Port());
    int data = 0;
    c.tcp.OnData = [&](TCustomWSocket*, int) { ++data; };
    c.tcp.Open();
    QTRY_COMPARE_WITH_TIMEOUT(c.tcp.State(), ssConnected, 5000);
    Pump(200);
    QCOMPARE(data, 0);
    QCOMPARE(c.tcp.ReceiveText(), QString());
    c.tcp.Close();
    QCOMPARE(c.tcp.State(), ssIdle);
    QVERIFY(c.errors.isEmpty());
}

void TcpClientLoopbackTest::longReplyArrivesIn1024ByteReads()
{
    QByteArray reply(3000, '\0');
    for (int i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<char>(i * 7);
    LoopbackServer server(reply, true);
    Client c(QStringLiteral("127.0.0.1"), server.Port());
    QList<int> sizes;
    QByteArray received;
    c.tcp.OnData = [&](TCustomWSocket*, int) {
        const QString text = c.tcp.ReceiveText();
        sizes << int(text.size());
        received += text.toLatin1();
    };
    c.tcp.Open();
    QTRY_COMPARE_WITH_TIMEOUT(c.closes, 1, 5000);
    QCOMPARE(received, reply);
    QVERIFY(sizes.size() >= 3);
    for (const int size : sizes)
        QVERIFY(size > 0 && size <= 1024);
    QCOMPARE(sizes.first(), 1024);
}

void TcpClientLoopbackTest::unknownNameIsHostNotFound()
{
    // glibc refuses a name with blanks before asking any name server, so no DNS is involved.
    Client c(QStringLiteral("no such host"), QStringLiteral("37"));
    c.tcp.Open();
    QCOMPARE(c.errors, QStringList { "11001 Host not found" });
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
            QElapsedTimer timer;
            timer.start();
            while (depthAtSecond == 0 && timer.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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

void TcpClientLoopbackTest::destroyedWhileConnecting()
{
    LoopbackServer server("late", true);
    auto c = std::make_unique<Client>(QStringLiteral("127.0.0.1"), server.Port());
    int data = 0;
    c->tcp.OnData = [&](TCustomWSocket*, int) { ++data; };
    c->tcp.Open();
    QCOMPARE(c->tcp.State(), ssConnecting);
    c.reset();
    Pump(100);
    QCOMPARE(data, 0);
}

void TcpClientLoopbackTest::readIsSignalledOnceUntilRecv()
{
    LoopbackServer server("xy");
    PosixSocketApi api;
    NotificationRecorder window;
    const Socket s = api.CreateSocket(AfInet, SockStream, 0);
    QVERIFY(s != InvalidSocket);
    QCOMPARE(api.AsyncSelect(s, &window, 1025, FdRead | FdConnect | FdClose), 0);
    const SockAddrIn address { AfInet, qToBigEndian(quint16(server.Port().toUShort())), api.InetAddr("127.0.0.1") };
    QCOMPARE(api.Connect(s, address), SocketError);
    QCOMPARE(api.LastError(), WSAEWOULDBLOCK);
    QTRY_COMPARE_WITH_TIMEOUT(window.seen, (QStringList { "16/0", "1/0" }), 5000);
    Pump(100); // unread data must not be signalled again
    QCOMPARE(window.seen.size(), 2);
    char byte = 0;
    QCOMPARE(api.Recv(s, &byte, 1, 0), 1);
    QTRY_COMPARE_WITH_TIMEOUT(window.seen.size(), 3, 5000); // "y" still waits
    QCOMPARE(window.seen.last(), QStringLiteral("1/0"));
    QCOMPARE(api.Recv(s, &byte, 1, 0), 1);
    Pump(100);
    QCOMPARE(window.seen.size(), 3);
    QCOMPARE(api.Recv(s, &byte, 1, 0), SocketError);
    QCOMPARE(api.LastError(), WSAEWOULDBLOCK);
    QCOMPARE(api.CloseSocket(s), 0);
    QCOMPARE(api.CloseSocket(s), SocketError);
    QCOMPARE(api.LastError(), 10038);
}

void TcpClientLoopbackTest::closeIsSignalledAfterPendingData()
{
    LoopbackServer server("bye", true);
    PosixSocketApi api;
    NotificationRecorder window;
    const Socket s = api.CreateSocket(AfInet, SockStream, 0);
    api.AsyncSelect(s, &window, 1025, FdRead | FdConnect | FdClose);
    api.Connect(s, { AfInet, qToBigEndian(quint16(server.Port().toUShort())), api.InetAddr("127.0.0.1") });
    QTRY_COMPARE_WITH_TIMEOUT(window.seen, (QStringList { "16/0", "1/0" }), 5000);
    Pump(50);
    QCOMPARE(window.seen.size(), 2);
    char buffer[16];
    QCOMPARE(api.Recv(s, buffer, sizeof buffer, 0), 3);
    QTRY_COMPARE_WITH_TIMEOUT(window.seen, (QStringList { "16/0", "1/0", "32/0" }), 5000);
    Pump(50);
    QCOMPARE(window.seen.size(), 3);
    SockAddrIn local;
    QCOMPARE(api.GetSockName(s, local), 0);
    QCOMPARE(local.address, api.InetAddr("127.0.0.1"));
    api.CloseSocket(s);
}

void TcpClientLoopbackTest::errnoBecomesWsaCode_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("code");
    QTest::newRow("refused") << ECONNREFUSED << 10061;
    QTest::newRow("timed out") << ETIMEDOUT << 10060;
    QTest::newRow("net unreachable") << ENETUNREACH << 10051;
    QTest::newRow("host unreachable") << EHOSTUNREACH << 10065;
    QTest::newRow("reset") << ECONNRESET << 10054;
    QTest::newRow("net down") << ENETDOWN << 10050;
    QTest::newRow("would block") << EAGAIN << 10035;
    QTest::newRow("not connected") << ENOTCONN << 10057;
    QTest::newRow("broken pipe") << EPIPE << 10058;
    QTest::newRow("no descriptors") << EMFILE << 10024;
    QTest::newRow("unknown") << EIO << 10091;
}

void TcpClientLoopbackTest::errnoBecomesWsaCode()
{
    QFETCH(int, error);
    QFETCH(int, code);
    QCOMPARE(PosixSocketApi::WsaErrorFromErrno(error), code);
}

void TcpClientLoopbackTest::resolverResultBecomesWsaCode_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");
    QTest::newRow("no name") << EAI_NONAME << 11001;
    QTest::newRow("again") << EAI_AGAIN << 11002;
    QTest::newRow("fail") << EAI_FAIL << 11003;
    QTest::newRow("no data") << EAI_NODATA << 11004;
    QTest::newRow("no IPv4") << EAI_ADDRFAMILY << 11004;
    QTest::newRow("system") << EAI_SYSTEM << 10055; // with ENOBUFS
}

void TcpClientLoopbackTest::resolverResultBecomesWsaCode()
{
    QFETCH(int, result);
    QFETCH(int, code);
    QCOMPARE(PosixSocketApi::WsaErrorFromResolver(result, ENOBUFS), code);
}

QTEST_GUILESS_MAIN(TcpClientLoopbackTest)
#include "TcpClientLoopbackTest.moc"
