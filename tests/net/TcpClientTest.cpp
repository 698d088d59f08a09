// The TCP client against the scripted socket layer: everything loopback cannot produce on
// demand (network-down, endless would-block, unknown events, every state).

#include "net/WSockets.h"
#include "tests/fakes/FakeSocketApi.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

using namespace winsock;

namespace {

// A client on socket layer `api`; `lines` tells what it reported to its owner, in order.
struct World
{
    FakeSocketApi api;
    QStringList lines;
    QStringList exceptions;
    std::unique_ptr<TTCPClient> client;

    explicit World(int startupResult = 0)
    {
        api.hosts["timeserver"] = "192.0.2.7";
        api.startupResult = startupResult;
        client = std::make_unique<TTCPClient>(
            api, [this](const std::exception& e) { exceptions << QString::fromStdString(e.what()); });
        client->OnError = [this](TCustomWSocket*, int error, const QString& text) {
            lines << QStringLiteral("error %1 %2 (open %3)").arg(error).arg(text).arg(api.OpenSockets());
        };
        client->OnData = [this](TCustomWSocket*, int s) { lines << QStringLiteral("data %1").arg(s); };
        client->OnConnect = [this](TCustomWSocket*, int s) { lines << QStringLiteral("connect %1").arg(s); };
        client->OnClose = [this](TCustomWSocket*, int s) { lines << QStringLiteral("close %1").arg(s); };
        client->SetHost(QStringLiteral("timeserver"));
        client->SetPort(QStringLiteral("37"));
    }

    // Brings the client into `state` with socket 100 and forgets the calls on the way.
    void Reach(TSocketState state)
    {
        if (state == ssConnecting || state == ssConnected)
            client->Open();
        QCoreApplication::sendPostedEvents(); // the look-up's answer
        if (state == ssConnected)
            api.Deliver(100, FdConnect);
        api.ClearCalls();
        lines.clear();
    }
};

const QStringList CloseCalls { "select 100 0", "shutdown 100 1", "recv 100 1024", "close 100" };

} // namespace

class TcpClientTest final : public QObject
{
    Q_OBJECT

private slots:
    void open_data();
    void open();
    void openAndCloseInEveryState_data();
    void openAndCloseInEveryState();
    void drainIsBounded();
    void notifications_data();
    void notifications();
    void lateNotificationsAreDropped();
    void sendText_data();
    void sendText();
    void receive();
    void destroyedWhileConnecting();
    void handlerExceptionsGoToErrorHandler();
    void addresses();
};

void TcpClientTest::open_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QStringList>("calls");
    const QStringList look { "getprotobynumber 6", "getservbyname 37 tcp", "gethostbyname timeserver" };
    const QStringList made = look + QStringList { "socket 2 1 0" };
    const QStringList selected = made + QStringList { "select 100 49" };
    const QStringList connect { "oobinline 100 1", "connect 100 192.0.2.7:37" };
    QTest::newRow("name and number") << "" << QStringList() << selected + connect;
    QTest::newRow("dotted address, service name: no look-up")
        << "dotted" << QStringList()
        << QStringList { "getprotobynumber 6", "getservbyname pop3 tcp", "socket 2 1 0",
                         "select 100 49",      "oobinline 100 1",        "connect 100 10.1.2.3:110" };
    QTest::newRow("bad port") << "port" << QStringList { "'37a' is not a valid integer value" }
                              << QStringList { "getprotobynumber 6", "getservbyname 37a tcp" };
    QTest::newRow("no protocol") << "protocol"
                                 << QStringList { "error 11004 Valid name, no data record of requested type (open 0)" }
                                 << look.mid(0, 1);
    QTest::newRow("unknown host") << "host" << QStringList { "error 11002 Non authoritative - host not found (open 0)" }
                                  << look;
    QTest::newRow("no sockets") << "socket" << QStringList { "error 10024 Too many open files (open 0)" } << made;
    // From here on the socket exists: it is reported while open, then closed.
    QTest::newRow("select") << "select" << QStringList { "error 10022 Invalid argument (open 1)" }
                            << selected + QStringList { "close 100" };
    QTest::newRow("oob inline") << "oob" << QStringList { "error 10042 Protocol not available (open 1)" }
                                << selected + QStringList { "oobinline 100 1", "close 100" };
    QTest::newRow("connect") << "connect" << QStringList { "error 10049 Can't assign requested address (open 1)" }
                             << selected + connect + QStringList { "close 100" };
}

void TcpClientTest::open()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, told);
    QFETCH(QStringList, calls);
    World w;
    if (fault == "dotted") {
        w.client->SetHost(QStringLiteral("10.1.2.3"));
        w.client->SetPort(QStringLiteral("pop3"));
    }
    if (fault == "port")
        w.client->SetPort(QStringLiteral("37a"));
    if (fault == "protocol")
        w.api.protocols.clear();
    if (fault == "host") {
        w.api.hosts.clear();
        w.api.hostErrors["timeserver"] = 11002;
    }
    w.api.socketError = fault == "socket" ? 10024 : 0;
    if (fault == "select")
        w.api.selectErrors[49] = 10022;
    w.api.oobError = fault == "oob" ? 10042 : 0;
    if (fault == "connect")
        w.api.connectError = 10049;
    w.api.ClearCalls();
    try {
        w.client->Open();
        QCoreApplication::sendPostedEvents();
    } catch (const EConvertError& e) {
        w.lines << QString::fromStdString(e.what());
    }
    QCOMPARE(w.lines, told);
    QCOMPARE(w.api.Calls(), calls);
    QCOMPARE(w.client->State(), told.isEmpty() ? ssConnecting : ssIdle);
    QCOMPARE(w.api.OpenSockets(), told.isEmpty() ? 1 : 0);
}

void TcpClientTest::openAndCloseInEveryState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("open"); // else Close
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("after");
    const int noWinsock = ssNoWinsock, idle = ssIdle, connecting = ssConnecting, connected = ssConnected;
    const QStringList none;
    QTest::newRow("no winsock, open") << noWinsock << true << "" << none << none << noWinsock;
    QTest::newRow("no winsock, close") << noWinsock << false << "" << none << none << noWinsock;
    QTest::newRow("idle, close") << idle << false << "" << none << none << idle;
    QTest::newRow("connecting, open") << connecting << true << "" << none << none << connecting;
    QTest::newRow("connecting, close") << connecting << false << "" << CloseCalls << none << idle;
    QTest::newRow("connected, open") << connected << true << "" << none << none << connected;
    QTest::newRow("connected, close") << connected << false << "" << CloseCalls << none << idle;
    // A failed step keeps the socket, so that Close can be tried again.
    QTest::newRow("deselect fails") << connected << false << "select" << CloseCalls.mid(0, 1)
                                    << QStringList { "error 10038 Socket operation on nonsocket (open 1)" }
                                    << connected;
    QTest::newRow("shutdown, network down") << connected << false << "shutdown" << CloseCalls.mid(0, 2)
                                            << QStringList { "error 10050 Network is down (open 1)" } << connected;
    QTest::newRow("shutdown, not connected: goes on")
        << connected << false << "unconnected" << CloseCalls << none << idle;
    QTest::newRow("closesocket, network down") << connected << false << "close" << CloseCalls
                                               << QStringList { "error 10050 Network is down (open 1)" } << connected;
}

void TcpClientTest::openAndCloseInEveryState()
{
    QFETCH(int, state);
    QFETCH(bool, open);
    QFETCH(QString, fault);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, told);
    QFETCH(int, after);
    World w(state == ssNoWinsock ? 10091 : 0);
    w.Reach(static_cast<TSocketState>(state));
    if (fault == "select")
        w.api.selectErrors[0] = 10038;
    w.api.shutdownError = fault == "shutdown" ? 10050 : fault == "unconnected" ? 10057 : 0;
    if (fault == "close")
        w.api.closeErrors = { 10050 };
    open ? w.client->Open() : w.client->Close();
    QCOMPARE(w.api.Calls(), calls);
    QCOMPARE(w.lines, told);
    QCOMPARE(int(w.client->State()), after);
    QCOMPARE(w.api.OpenSockets(), after == ssIdle || after == ssNoWinsock ? 0 : 1);
    w.api.selectErrors.clear();
    w.api.shutdownError = 0;
    w.api.ClearCalls();
    w.client->Close(); // a second Close finishes a failed one and else does nothing more
    QCOMPARE(w.client->State(), state == ssNoWinsock ? ssNoWinsock : ssIdle);
    if (!open && told.isEmpty())
        QCOMPARE(w.api.Calls(), QStringList());
}

void TcpClientTest::drainIsBounded()
{
    World w;
    w.Reach(ssConnected);
    w.api.recvSteps.assign(1100, { QByteArray(1024, 'x') });
    w.client->Close();
    QCOMPARE(w.api.Calls().filter(QStringLiteral("recv")).size(), 1024);
    QCOMPARE(w.client->State(), ssIdle);
}

void TcpClientTest::notifications_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("reselectError");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("after");
    const int connecting = ssConnecting;
    const int connected = ssConnected;
    const int idle = ssIdle;
    // FdConnect arrives while connecting, the others once connected.
    QTest::newRow("connected") << int(FdConnect) << 0 << 0 << QStringList { "connect 100" } << connected;
    QTest::newRow("refused: stays connecting")
        << int(FdConnect) << 10061 << 0 << QStringList { "error 10061 Connection refused (open 1)" } << connecting;
    QTest::newRow("reselect fails") << int(FdConnect) << 0 << 10038
                                    << QStringList { "error 10038 Socket operation on nonsocket (open 1)" }
                                    << connecting;
    QTest::newRow("read") << int(FdRead) << 0 << 0 << QStringList { "data 100" } << connected;
    QTest::newRow("read, error") << int(FdRead) << 10054 << 0
                                 << QStringList { "error 10054 Connection reset by peer (open 1)" } << connected;
    QTest::newRow("peer close") << int(FdClose) << 0 << 0 << QStringList { "close 100" } << idle;
    QTest::newRow("reset close") << int(FdClose) << 10054 << 0 << QStringList { "close 100" } << idle;
    QTest::newRow("network down: only reported")
        << int(FdClose) << 10050 << 0 << QStringList { "error 10050 Network is down (open 1)" } << connected;
    QTest::newRow("unknown, error without a text")
        << 8 << 10072 << 0 << QStringList { "error 10072 Not a Winsock error (open 1)" } << connected;
    QTest::newRow("unknown, no error") << 2 << 0 << 0 << QStringList() << connected;
}

void TcpClientTest::notifications()
{
    QFETCH(int, event);
    QFETCH(int, error);
    QFETCH(int, reselectError);
    QFETCH(QStringList, told);
    QFETCH(int, after);
    World w;
    w.Reach(event == FdConnect ? ssConnecting : ssConnected);
    if (reselectError != 0)
        w.api.selectErrors[FdRead | FdClose] = reselectError;
    QVERIFY(w.api.Deliver(100, event, error));
    QCOMPARE(w.lines, told);
    QCOMPARE(int(w.client->State()), after);
    QCOMPARE(w.api.IsOpen(100), after != ssIdle);
    if (event == FdConnect && after == ssConnected)
        QCOMPARE(w.api.SelectedEvents(100), FdRead | FdClose);
    w.client->Close(); // the owner's way out, also of a failed connect
    QCOMPARE(w.client->State(), ssIdle);
    QCOMPARE(w.api.OpenSockets(), 0);
}

void TcpClientTest::lateNotificationsAreDropped()
{
    World w;
    w.Reach(ssConnecting);
    w.client->OnConnect = [&w](TCustomWSocket*, int) { w.client->Close(); };
    w.api.Post(100, FdConnect);
    w.api.Post(100, FdRead); // already queued when OnConnect closes
    QCoreApplication::sendPostedEvents();
    QCOMPARE(w.client->State(), ssIdle);
    QVERIFY(w.lines.isEmpty());
    // Nor the answer to a look-up that Close gave up.
    w.client->Open();
    w.client->Close();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(w.client->State(), ssIdle);

    // A notification of the earlier socket must not reach the next connection.
    w.client->Open();
    QCoreApplication::sendPostedEvents();
    QVERIFY(w.api.Deliver(100, FdClose));
    QVERIFY(w.api.Deliver(100, FdConnect, 10061));
    QVERIFY(w.lines.isEmpty());
    QCOMPARE(w.client->State(), ssConnecting);
    QVERIFY(w.api.IsOpen(101));
}

void TcpClientTest::sendText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("wouldBlocks");
    QTest::addColumn<int>("partial"); // a first send that takes only this many bytes
    QTest::addColumn<int>("sends");
    QTest::addColumn<QString>("lastSent");
    QTest::newRow("in two pieces") << "USER kim\r\n" << 0 << 5 << 2 << "send 100 kim\r\n";
    QTest::newRow("100 would-blocks, then taken") << "QUIT\r\n" << 100 << 0 << 101 << "send 100 QUIT\r\n";
    QTest::newRow("101 would-blocks, dropped") << "QUIT\r\n" << 101 << 0 << 101 << "send 100 QUIT\r\n";
    QTest::newRow("empty: nothing is sent") << "" << 0 << 0 << 0 << "";
    QTest::newRow("UTF-8 bytes") << QStringLiteral("PASS été ж\r\n") << 0 << 0 << 1
                                 << QString::fromLatin1("send 100 PASS \xc3\xa9t\xc3\xa9 \xd0\xb6\r\n");
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
    w.api.sendSteps.insert(w.api.sendSteps.end(), wouldBlocks, { {}, 0, WSAEWOULDBLOCK });
    w.client->SendText(text);
    const QStringList sent = w.api.Calls().filter(QStringLiteral("send "));
    QCOMPARE(sent.size(), sends);
    if (sends > 0)
        QCOMPARE(sent.last(), lastSent);
    QVERIFY(w.lines.isEmpty());
}

void TcpClientTest::receive()
{
    World w;
    w.Reach(ssConnected);
    char buffer[4] = {};
    QCOMPARE(w.client->ReceiveText(), QString()); // would-block: nothing, silently
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 0);
    w.api.recvSteps = { { QByteArray(3000, 'r') } };
    QCOMPARE(w.client->ReceiveText().size(), 1024);
    w.api.recvSteps = { { "ABCDEF" } };
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 4);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("ABCD"));
    QVERIFY(w.lines.isEmpty());
    w.api.recvSteps = { { {}, 0, 10054 }, { {}, 0, 10057 } };
    QCOMPARE(w.client->ReceiveText(), QString());
    QCOMPARE(w.client->ReceiveBuffer(buffer, 4), 0);
    QCOMPARE(w.lines,
             (QStringList { "error 10054 Connection reset by peer (open 1)",
                            "error 10057 Socket is not connected (open 1)" }));
}

void TcpClientTest::destroyedWhileConnecting()
{
    World w;
    w.Reach(ssConnecting);
    w.api.Post(100, FdConnect);
    w.client.reset();
    QCoreApplication::sendPostedEvents(); // discarded with the window
    QCOMPARE(w.api.Calls(), CloseCalls + QStringList { "cleanup" });
    QCOMPARE(w.api.Startups(), 0);
    QVERIFY(w.lines.isEmpty());

    World failed(10091); // without a started Winsock there is nothing to clean up
    failed.client.reset();
    QCOMPARE(failed.api.Calls(), QStringList { "startup 0101" });
}

void TcpClientTest::handlerExceptionsGoToErrorHandler()
{
    World w;
    w.Reach(ssConnected);
    w.client->OnData = [](TCustomWSocket*, int) { throw EKronvikError("bad data"); };
    w.api.Post(100, FdRead);
    QCoreApplication::processEvents();
    QCOMPARE(w.exceptions, QStringList { "bad data" });
    QCOMPARE(w.client->State(), ssConnected);

    // Also from the destructor, where a failed cleanup is reported.
    w.api.cleanupError = 10093;
    w.client->OnError = [](TCustomWSocket*, int, const QString&) { throw EKronvikError("handler failed"); };
    w.client.reset();
    QCOMPARE(w.exceptions, (QStringList { "bad data", "handler failed" }));
}

void TcpClientTest::addresses()
{
    World w;
    w.api.hosts["kronvik-host"] = "192.0.2.5";
    QCOMPARE(w.client->LocalAddress(), QStringLiteral("192.0.2.5"));
    w.api.hosts.erase("kronvik-host");
    QCOMPARE(w.client->LocalAddress(), QString());
    QVERIFY(w.lines.isEmpty()); // a name without address is not reported
    w.api.hostName.reset();
    QCOMPARE(w.client->LocalAddress(), QString());
    QCOMPARE(w.lines, QStringList { "error 10093 Winsock not initialized (open 0)" });

    QCOMPARE(w.client->ConnectionLocalAddress(), QString());
    w.Reach(ssConnected);
    QCOMPARE(w.client->ConnectionLocalAddress(), QStringLiteral("192.0.2.9"));
}

QTEST_GUILESS_MAIN(TcpClientTest)
#include "TcpClientTest.moc"
