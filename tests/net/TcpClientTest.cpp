// The TCP client against the scripted socket layer: everything loopback cannot produce on
// demand (network-down, endless would-block, unknown events, every state).

#include "net/WSockets.h"
#include "net/WinsockErrors.h"
#include "tests/fakes/FakeSocketApi.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

using namespace winsock;

namespace {

// What the client told its owner, one line per event, in order.
struct EventLog
{
    QStringList lines;
    QStringList exceptions;

    void Attach(TTCPClient& client, const FakeSocketApi& api)
    {
        client.OnError = [this, &api](TCustomWSocket*, int error, const QString& text) {
            lines << QStringLiteral("error %1 %2 (open %3)").arg(error).arg(text).arg(api.OpenSockets());
        };
        client.OnData = [this](TCustomWSocket*, int socket) { lines << QStringLiteral("data %1").arg(socket); };
        client.OnConnect = [this](TCustomWSocket*, int socket) { lines << QStringLiteral("connect %1").arg(socket); };
        client.OnClose = [this](TCustomWSocket*, int socket) { lines << QStringLiteral("close %1").arg(socket); };
    }
};

struct World
{
    FakeSocketApi api;
    EventLog log;
    std::unique_ptr<TTCPClient> client;

    World()
    {
        api.hosts["timeserver"] = "192.0.2.7";
        client = std::make_unique<TTCPClient>(
            api, [this](const std::exception& e) { log.exceptions << QString::fromStdString(e.what()); });
        log.Attach(*client, api);
        client->SetHost(QStringLiteral("timeserver"));
        client->SetPort(QStringLiteral("37"));
    }

    // Brings the client into `state` with socket 100 and forgets the calls on the way.
    void Reach(TSocketState state)
    {
        if (state == ssConnecting || state == ssConnected)
            client->Open();
        if (state == ssConnected)
            api.Deliver(100, FdConnect);
        api.ClearCalls();
        log.lines.clear();
    }
};

const QStringList CloseCalls { "select 100 0", "shutdown 100 1", "recv 100 1024", "close 100" };

} // namespace

class TcpClientTest final : public QObject
{
    Q_OBJECT

private slots:
    void openAsksInOrder_data();
    void openAsksInOrder();
    void openFailuresLeaveIdle_data();
    void openFailuresLeaveIdle();
    void badPortRaisesConvertError_data();
    void badPortRaisesConvertError();
    void openAndCloseInEveryState_data();
    void openAndCloseInEveryState();
    void failedShutdownKeepsSocketForRetry_data();
    void failedShutdownKeepsSocketForRetry();
    void drainIsBounded();
    void notifications_data();
    void notifications();
    void connectNotification_data();
    void connectNotification();
    void lateNotificationsAreDropped();
    void closingInsideOnConnectStaysIdle();
    void sendText_data();
    void sendText();
    void receive();
    void failedStartupLeavesComponentInert();
    void destroyedWhileConnecting();
    void failedCleanupIsReported();
    void handlerExceptionsGoToErrorHandler();
    void addresses();
    void errorText_data();
    void errorText();
};

void TcpClientTest::openAsksInOrder_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("name and number")
        << "timeserver"
        << "37"
        << QStringList { "getprotobynumber 6", "getservbyname 37 tcp", "gethostbyname timeserver", "socket 2 1 0",
                         "select 100 49",      "oobinline 100 1",      "connect 100 192.0.2.7:37" };
    QTest::newRow("dotted address, service name")
        << "10.1.2.3"
        << "pop3" << QStringList { "getprotobynumber 6", "getservbyname pop3 tcp", "socket 2 1 0",
                                   "select 100 49",      "oobinline 100 1",        "connect 100 10.1.2.3:110" };
}

void TcpClientTest::openAsksInOrder()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QStringList, calls);
    World w;
    w.api.ClearCalls();
    w.client->SetHost(host);
    w.client->SetPort(port);
    w.client->Open();
    QCOMPARE(w.api.Calls(), calls);
    QCOMPARE(w.client->State(), ssConnecting);
    QVERIFY(w.log.lines.isEmpty());
}

void TcpClientTest::openFailuresLeaveIdle_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("lastCall");
    QTest::newRow("no protocol") << "protocol" << 11004
                                 << "error 11004 Valid name, no data record of requested type (open 0)"
                                 << "getprotobynumber 6";
    QTest::newRow("unknown host") << "host" << 11001 << "error 11001 Host not found (open 0)"
                                  << "gethostbyname timeserver";
    QTest::newRow("try again") << "host" << 11002 << "error 11002 Non authoritative - host not found (open 0)"
                               << "gethostbyname timeserver";
    QTest::newRow("resolver broken") << "host" << 11003 << "error 11003 Non recoverable error (open 0)"
                                     << "gethostbyname timeserver";
    QTest::newRow("no sockets") << "socket" << 10024 << "error 10024 Too many open files (open 0)"
                                << "socket 2 1 0";
    // From here on the socket exists: it is reported while open, then closed.
    QTest::newRow("select") << "select" << 10022 << "error 10022 Invalid argument (open 1)"
                            << "close 100";
    QTest::newRow("oob inline") << "oob" << 10042 << "error 10042 Protocol not available (open 1)"
                                << "close 100";
    QTest::newRow("connect") << "connect" << 10051 << "error 10051 Network is unreachable (open 1)"
                             << "close 100";
}

void TcpClientTest::openFailuresLeaveIdle()
{
    QFETCH(QString, fault);
    QFETCH(int, code);
    QFETCH(QString, report);
    QFETCH(QString, lastCall);
    World w;
    if (fault == "protocol")
        w.api.protocols.clear();
    if (fault == "host") {
        w.api.hosts.clear();
        w.api.hostErrors["timeserver"] = code;
    }
    if (fault == "socket")
        w.api.socketError = code;
    if (fault == "select")
        w.api.selectErrors[49] = code;
    if (fault == "oob")
        w.api.oobError = code;
    if (fault == "connect")
        w.api.connectError = code;
    w.client->Open();
    QCOMPARE(w.log.lines, QStringList { report });
    QCOMPARE(w.api.Calls().last(), lastCall);
    QCOMPARE(w.client->State(), ssIdle);
    QCOMPARE(w.client->LastError(), code);
    QCOMPARE(w.api.OpenSockets(), 0);
    QCOMPARE(w.client->ConnectionLocalAddress(), QString());
}

void TcpClientTest::badPortRaisesConvertError_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("word") << "smtpx";
    QTest::newRow("empty") << "";
    QTest::newRow("trailing letters") << "37a";
}

void TcpClientTest::badPortRaisesConvertError()
{
    QFETCH(QString, port);
    World w;
    w.client->SetPort(port);
    try {
        w.client->Open();
        QFAIL("no EConvertError");
    } catch (const EConvertError& e) {
        QCOMPARE(QString::fromStdString(e.what()), QStringLiteral("'%1' is not a valid integer value").arg(port));
    }
    QCOMPARE(w.client->State(), ssIdle);
    QCOMPARE(w.api.OpenSockets(), 0);
}

void TcpClientTest::openAndCloseInEveryState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("open"); // else Close
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("after");
    QTest::newRow("no winsock, open") << int(ssNoWinsock) << true << QStringList() << int(ssNoWinsock);
    QTest::newRow("no winsock, close") << int(ssNoWinsock) << false << QStringList() << int(ssNoWinsock);
    QTest::newRow("idle, close") << int(ssIdle) << false << QStringList() << int(ssIdle);
    QTest::newRow("connecting, open") << int(ssConnecting) << true << QStringList() << int(ssConnecting);
    QTest::newRow("connecting, close") << int(ssConnecting) << false << CloseCalls << int(ssIdle);
    QTest::newRow("connected, open") << int(ssConnected) << true << QStringList() << int(ssConnected);
    QTest::newRow("connected, close") << int(ssConnected) << false << CloseCalls << int(ssIdle);
}

void TcpClientTest::openAndCloseInEveryState()
{
    QFETCH(int, state);
    QFETCH(bool, open);
    QFETCH(QStringList, calls);
    QFETCH(int, after);
    World w;
    if (state == ssNoWinsock) {
        w.api.startupResult = 10091;
        w.client = std::make_unique<TTCPClient>(w.api, nullptr);
    }
    w.Reach(static_cast<TSocketState>(state));
    if (open)
        w.client->Open();
    else
        w.client->Close();
    QCOMPARE(w.api.Calls(), calls);
    QCOMPARE(int(w.client->State()), after);
    QVERIFY(w.log.lines.isEmpty());
    w.api.ClearCalls();
    w.client->Close(); // a second Close never does anything more
    if (!open)
        QCOMPARE(w.api.Calls(), QStringList());
}

void TcpClientTest::failedShutdownKeepsSocketForRetry_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("reported");
    QTest::newRow("deselect") << "select" << 10038 << true;
    QTest::newRow("shutdown, network down") << "shutdown" << 10050 << true;
    QTest::newRow("shutdown, not connected") << "shutdown" << 10057 << false;
    QTest::newRow("closesocket, network down") << "close" << 10050 << true;
}

void TcpClientTest::failedShutdownKeepsSocketForRetry()
{
    QFETCH(QString, fault);
    QFETCH(int, code);
    QFETCH(bool, reported);
    World w;
    w.Reach(ssConnected);
    if (fault == "select")
        w.api.selectErrors[0] = code;
    if (fault == "shutdown")
        w.api.shutdownError = code;
    if (fault == "close")
        w.api.closeErrors = { code };
    w.client->Close();
    if (!reported) {
        QCOMPARE(w.api.Calls(), CloseCalls);
        QCOMPARE(w.client->State(), ssIdle);
        return;
    }
    QCOMPARE(w.log.lines.size(), 1);
    QVERIFY(w.log.lines[0].startsWith(QStringLiteral("error %1 ").arg(code)));
    QCOMPARE(w.client->State(), ssConnected);
    QVERIFY(w.api.IsOpen(100));
    w.api.selectErrors.clear();
    w.api.shutdownError = 0;
    w.client->Close();
    QCOMPARE(w.client->State(), ssIdle);
    QVERIFY(!w.api.IsOpen(100));
}

void TcpClientTest::drainIsBounded()
{
    World w;
    w.Reach(ssConnected);
    for (int i = 0; i < 1100; ++i)
        w.api.recvSteps.push_back({ QByteArray(1024, 'x') });
    w.client->Close();
    QCOMPARE(w.api.Calls().filter(QStringLiteral("recv")).size(), 1024);
    QCOMPARE(w.client->State(), ssIdle);
}

void TcpClientTest::notifications_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("error");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("socketOpen");
    QTest::newRow("read") << int(FdRead) << 0 << QStringList { "data 100" } << int(ssConnected) << true;
    QTest::newRow("read, error") << int(FdRead) << 10054
                                 << QStringList { "error 10054 Connection reset by peer (open 1)" } << int(ssConnected)
                                 << true;
    QTest::newRow("peer close") << int(FdClose) << 0 << QStringList { "close 100" } << int(ssIdle) << false;
    QTest::newRow("reset close") << int(FdClose) << 10054 << QStringList { "close 100" } << int(ssIdle) << false;
    QTest::newRow("network down") << int(FdClose) << 10050 << QStringList { "error 10050 Network is down (open 1)" }
                                  << int(ssConnected) << true;
    QTest::newRow("unknown, error") << 8 << 10055 << QStringList { "error 10055 No buffer space available (open 1)" }
                                    << int(ssConnected) << true;
    QTest::newRow("unknown, no error") << 2 << 0 << QStringList() << int(ssConnected) << true;
}

void TcpClientTest::notifications()
{
    QFETCH(int, event);
    QFETCH(int, error);
    QFETCH(QStringList, told);
    QFETCH(int, after);
    QFETCH(bool, socketOpen);
    World w;
    w.Reach(ssConnected);
    QVERIFY(w.api.Deliver(100, event, error));
    QCOMPARE(w.log.lines, told);
    QCOMPARE(int(w.client->State()), after);
    QCOMPARE(w.api.IsOpen(100), socketOpen);
}

void TcpClientTest::connectNotification_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("reselectError");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("after");
    QTest::newRow("connected") << 0 << 0 << QStringList { "connect 100" } << int(ssConnected);
    QTest::newRow("refused") << 10061 << 0 << QStringList { "error 10061 Connection refused (open 1)" }
                             << int(ssConnecting);
    QTest::newRow("timed out") << 10060 << 0 << QStringList { "error 10060 Connection timed out (open 1)" }
                               << int(ssConnecting);
    QTest::newRow("reselect fails") << 0 << 10038
                                    << QStringList { "error 10038 Socket operation on nonsocket (open 1)" }
                                    << int(ssConnecting);
}

void TcpClientTest::connectNotification()
{
    QFETCH(int, error);
    QFETCH(int, reselectError);
    QFETCH(QStringList, told);
    QFETCH(int, after);
    World w;
    w.Reach(ssConnecting);
    if (reselectError != 0)
        w.api.selectErrors[33] = reselectError;
    w.api.Deliver(100, FdConnect, error);
    QCOMPARE(w.log.lines, told);
    QCOMPARE(int(w.client->State()), after);
    if (error == 0 && reselectError == 0)
        QCOMPARE(w.api.SelectedEvents(100), FdRead | FdClose);
    w.client->Close(); // the owner's way out of a failed connect
    QCOMPARE(w.client->State(), ssIdle);
    QCOMPARE(w.api.OpenSockets(), 0);
}

void TcpClientTest::lateNotificationsAreDropped()
{
    World w;
    w.Reach(ssConnected);
    w.api.Post(100, FdRead);
    w.client->Close();
    QCoreApplication::sendPostedEvents();
    QVERIFY(w.log.lines.isEmpty());

    // A notification of the earlier socket must not reach the next connection.
    w.client->Open();
    QCOMPARE(w.client->State(), ssConnecting);
    QVERIFY(w.api.Deliver(100, FdClose));
    QVERIFY(w.api.Deliver(100, FdConnect, 10061));
    QVERIFY(w.log.lines.isEmpty());
    QCOMPARE(w.client->State(), ssConnecting);
    QVERIFY(w.api.IsOpen(101));
}

void TcpClientTest::closingInsideOnConnectStaysIdle()
{
    World w;
    w.Reach(ssConnecting);
    w.client->OnConnect = [&w](TCustomWSocket*, int) { w.client->Close(); };
    w.api.Deliver(100, FdConnect);
    QCOMPARE(w.client->State(), ssIdle);
    w.client->Open(); // and the component can be used again
    QCOMPARE(w.client->State(), ssConnecting);
}

void TcpClientTest::sendText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("wouldBlocks");
    QTest::addColumn<int>("partial"); // a first send that takes only this many bytes
    QTest::addColumn<int>("sends");
    QTest::addColumn<QString>("lastSent");
    QTest::newRow("empty") << "" << 0 << 0 << 0 << "";
    QTest::newRow("at once") << "USER kim\r\n" << 0 << 0 << 1 << "send 100 USER kim\r\n";
    QTest::newRow("in two pieces") << "USER kim\r\n" << 0 << 5 << 2 << "send 100 kim\r\n";
    QTest::newRow("100 would-blocks, then taken") << "QUIT\r\n" << 100 << 0 << 101 << "send 100 QUIT\r\n";
    QTest::newRow("101 would-blocks, dropped") << "QUIT\r\n" << 101 << 0 << 101 << "send 100 QUIT\r\n";
    QTest::newRow("Latin-1 bytes") << QString::fromLatin1("PASS \xe9t\xe9\r\n") << 0 << 0 << 1
                                   << QString::fromLatin1("send 100 PASS \xe9t\xe9\r\n");
}

void TcpClientTest::sendText()
{
    QFETCH(QString, text);
    QFETCH(int, wouldBlocks);
    QFETCH(int, partial);
    QFETCH(int, sends);
    QFETCH(QString, lastSent);
    World w;
    w.Reach(ssConnected);
    if (partial > 0)
        w.api.sendSteps.push_back({ {}, partial });
    for (int i = 0; i < wouldBlocks; ++i)
        w.api.sendSteps.push_back({ {}, 0, WSAEWOULDBLOCK });
    w.client->SendText(text);
    const QStringList sent = w.api.Calls().filter(QStringLiteral("send "));
    QCOMPARE(sent.size(), sends);
    if (sends > 0)
        QCOMPARE(sent.last(), lastSent);
    QVERIFY(w.log.lines.isEmpty());
}

void TcpClientTest::receive()
{
    World w;
    w.Reach(ssConnected);
    QCOMPARE(w.client->ReceiveText(), QString()); // would-block: nothing, silently
    w.api.recvSteps.push_back({ QByteArray(3000, 'r') });
    QCOMPARE(w.client->ReceiveText().size(), 1024);
    QCOMPARE(w.api.Calls().filter(QStringLiteral("recv")).size(), 2);
    w.api.recvSteps = { { "ABCDEF" } };
    char buffer[4] = {};
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 4);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("ABCD"));
    w.api.recvSteps = {};
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 0);
    QVERIFY(w.log.lines.isEmpty());
    w.api.recvSteps = { { {}, 0, 10054 }, { {}, 0, 10057 } };
    QCOMPARE(w.client->ReceiveText(), QString());
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 0);
    QCOMPARE(w.log.lines,
             (QStringList { "error 10054 Connection reset by peer (open 1)",
                            "error 10057 Socket is not connected (open 1)" }));
}

void TcpClientTest::failedStartupLeavesComponentInert()
{
    FakeSocketApi api;
    api.startupResult = 10091;
    {
        TTCPClient client(api, nullptr);
        QCOMPARE(client.State(), ssNoWinsock);
        QCOMPARE(client.LastError(), 10091);
        QCOMPARE(client.ErrorText(), QStringLiteral("Network subsystem is unusable"));
        client.SetHost(QStringLiteral("127.0.0.1"));
        client.SetPort(QStringLiteral("37"));
        client.Open();
    }
    QCOMPARE(api.Calls(), QStringList { "startup 0101" }); // no socket, no cleanup
}

void TcpClientTest::destroyedWhileConnecting()
{
    World w;
    w.Reach(ssConnecting);
    w.api.Post(100, FdConnect);
    w.client.reset();
    QCoreApplication::sendPostedEvents(); // discarded with the window
    QCOMPARE(w.api.OpenSockets(), 0);
    QCOMPARE(w.api.Startups(), 0);
    QCOMPARE(w.api.Calls(), CloseCalls + QStringList { "cleanup" });
    QVERIFY(w.log.lines.isEmpty());
}

void TcpClientTest::failedCleanupIsReported()
{
    World w;
    w.api.cleanupError = 10093;
    w.client->OnError = [&w](TCustomWSocket*, int, const QString&) { throw EKronvikError("handler failed"); };
    w.client.reset();
    QCOMPARE(w.log.exceptions, QStringList { "handler failed" });
}

void TcpClientTest::handlerExceptionsGoToErrorHandler()
{
    World w;
    w.Reach(ssConnected);
    w.client->OnData = [](TCustomWSocket*, int) { throw EKronvikError("bad data"); };
    w.api.Post(100, FdRead);
    QCoreApplication::processEvents();
    QCOMPARE(w.log.exceptions, QStringList { "bad data" });
    QCOMPARE(w.client->State(), ssConnected);
}

void TcpClientTest::addresses()
{
    World w;
    w.api.hosts["kronvik-host"] = "192.0.2.5";
    QCOMPARE(w.client->LocalAddress(), QStringLiteral("192.0.2.5"));
    w.api.hosts.erase("kronvik-host");
    QCOMPARE(w.client->LocalAddress(), QString());
    QVERIFY(w.log.lines.isEmpty()); // a name without address is not reported
    w.api.hostName.reset();
    QCOMPARE(w.client->LocalAddress(), QString());
    QCOMPARE(w.log.lines, QStringList { "error 10093 Winsock not initialized (open 0)" });

    QCOMPARE(w.client->ConnectionLocalAddress(), QString());
    w.Reach(ssConnected);
    QCOMPARE(w.client->ConnectionLocalAddress(), QStringLiteral("192.0.2.9"));
}

void TcpClientTest::errorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("first") << 10004 << "Interrupted system call";
    QTest::newRow("apostrophe") << 10049 << "Can't assign requested address";
    QTest::newRow("refused") << 10061 << "Connection refused";
    QTest::newRow("last winsock") << 10093 << "Winsock not initialized";
    QTest::newRow("host") << 11001 << "Host not found";
    QTest::newRow("last") << 11004 << "Valid name, no data record of requested type";
    QTest::newRow("gap") << 10072 << "Not a Winsock error";
    QTest::newRow("zero") << 0 << "Not a Winsock error";
    QTest::newRow("beyond") << 11005 << "Not a Winsock error";
}

void TcpClientTest::errorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(WinsockErrorText(code), text);
}

QTEST_GUILESS_MAIN(TcpClientTest)
#include "TcpClientTest.moc"
