#include "dialup/ConnectionProbe.h"
#include "platform/linux/links/InterfaceRemoteAccess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(QList<DialUpConnection>)

// The address counts only where the IPv4 settings could be read.
static bool operator==(const DialUpConnection& a, const DialUpConnection& b)
{
    return a.name == b.name && a.connected == b.connected && a.projected == b.projected
        && (!a.projected || a.address == b.address);
}

// Dial-up connections from the kernel's real interfaces, inside a network namespace of the test's
// own (remote-access-live.sh runs this there and names it in KRONVIK_NETNS). Each row builds its
// links with the dial-up peer scripts and plain ip commands; whatever it built goes afterwards.
class RemoteAccessLiveTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void connectionsAsTheSystemListsThem_data();
    void connectionsAsTheSystemListsThem();

private:
    // Runs a shell script with NS, DIR and PEERS set; its output on failure.
    QString Run(const QString& script);

    QTemporaryDir m_dir;
};

namespace {

DialUpConnection Link(const char* name, bool connected, bool projected, const char* address = "")
{
    return { QString::fromLatin1(name), connected, projected, QString::fromLatin1(address) };
}

QString Describe(const QList<DialUpConnection>& connections)
{
    QStringList parts;
    for (const DialUpConnection& c : connections)
        parts.append(QStringLiteral("%1:%2:%3:%4").arg(c.name).arg(c.connected).arg(c.projected).arg(c.address));
    return parts.join(QLatin1Char(' '));
}

} // namespace

void RemoteAccessLiveTest::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("KRONVIK_NETNS"), "run by remote-access-live.sh");
    QVERIFY(m_dir.isValid());
}

QString RemoteAccessLiveTest::Run(const QString& script)
{
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NS", qEnvironmentVariable("KRONVIK_NETNS"));
    environment.insert("DIR", m_dir.path());
    environment.insert("PEERS", QStringLiteral(KRONVIK_PEERS));
    shell.setProcessEnvironment(environment);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start("/bin/sh", { "-euc", script });
    if (!shell.waitForFinished(30000)) {
        shell.kill();
        shell.waitForFinished();
        return QStringLiteral("did not finish: ") + script;
    }
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return QString::fromLocal8Bit(shell.readAll()) + QStringLiteral(" from: ") + script;
    return {};
}

void RemoteAccessLiveTest::cleanup()
{
    const QString error = Run("for link in ppp0 ppp1; do \"$PEERS/dialup-down.sh\" \"$NS\" $link \"$DIR\"; done\n"
                              "ip link del v0 2>/dev/null || true\n"
                              "for link in $(ip -o link show | awk -F': ' '$2 ~ /^tun/ { print $2 }'); do\n"
                              "    ip tuntap del mode tun name \"$link\"\n"
                              "done");
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void RemoteAccessLiveTest::connectionsAsTheSystemListsThem_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QList<DialUpConnection>>("connections");
    QTest::addColumn<QString>("address"); // what the connection probe finds; empty: not connected

    const QString up = QStringLiteral("\"$PEERS/dialup-up.sh\" \"$NS\" %1 %2 %3 \"$DIR\"\n");
    const QString broadcast = QStringLiteral("ip link add v0 type veth peer name v1\n"
                                             "ip addr add 10.9.0.1/24 dev v0\nip link set v1 up\nip link set v0 up\n");

    QTest::newRow("no link") << "" << QList<DialUpConnection> {} << "";
    QTest::newRow("a link up with an address")
        << up.arg("ppp0", "10.64.0.1", "10.64.0.2") << QList<DialUpConnection> { Link("ppp0", true, true, "10.64.0.1") }
        << "10.64.0.1";
    QTest::newRow("a link that is down") << up.arg("ppp0", "10.64.0.1", "10.64.0.2") + "ip link set ppp0 down\n"
                                         << QList<DialUpConnection> { Link("ppp0", false, true, "10.64.0.1") } << "";
    QTest::newRow("a link up without an address")
        << up.arg("ppp0", "none", "none") << QList<DialUpConnection> { Link("ppp0", true, false) } << "";
    QTest::newRow("a link up without a carrier")
        << "ip tuntap add mode tun name tun0\n"
           "ip addr add 10.64.0.5 peer 10.64.0.6 dev tun0\n"
           "ip link set tun0 up\n"
        << QList<DialUpConnection> { Link("tun0", false, true, "10.64.0.5") } << "";
    QTest::newRow("a broadcast interface beside the link")
        << broadcast + up.arg("ppp0", "10.64.0.1", "10.64.0.2")
        << QList<DialUpConnection> { Link("ppp0", true, true, "10.64.0.1") } << "10.64.0.1";
    QTest::newRow("only a broadcast interface") << broadcast << QList<DialUpConnection> {} << "";
    QTest::newRow("two links, the first down")
        << up.arg("ppp0", "10.64.0.1", "10.64.0.2") + up.arg("ppp1", "10.65.0.1", "10.65.0.2")
            + "ip link set ppp0 down\n"
        << QList<DialUpConnection> { Link("ppp0", false, true, "10.64.0.1"), Link("ppp1", true, true, "10.65.0.1") }
        << "10.65.0.1";
    QTest::newRow("hung up") << up.arg("ppp0", "10.64.0.1", "10.64.0.2")
            + "\"$PEERS/dialup-down.sh\" \"$NS\" ppp0 \"$DIR\"\n"
                             << QList<DialUpConnection> {} << "";

    // Fifty point-to-point interfaces: forty-nine without a carrier, then the one that is up.
    QString many
        = QStringLiteral("i=0\nwhile [ $i -lt 49 ]; do\n"
                         "    echo \"tuntap add mode tun name tun$i\"; echo \"link set tun$i up\"; i=$((i + 1))\n"
                         "done | ip -batch -\n")
        + up.arg("ppp0", "10.64.0.1", "10.64.0.2");
    QList<DialUpConnection> fifty;
    for (int i = 0; i < 49; ++i)
        fifty.append(Link(qPrintable(QStringLiteral("tun%1").arg(i)), false, false));
    fifty.append(Link("ppp0", true, true, "10.64.0.1"));
    QTest::newRow("fifty links") << many << fifty << "10.64.0.1";
}

void RemoteAccessLiveTest::connectionsAsTheSystemListsThem()
{
    QFETCH(QString, scene);
    QFETCH(QList<DialUpConnection>, connections);
    QFETCH(QString, address);
    const QString error = Run(scene);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    InterfaceRemoteAccess remoteAccess;
    QList<DialUpConnection> listed;
    QVERIFY(remoteAccess.EnumConnections(listed));
    QString dialUpAddress = QStringLiteral("stale");
    const bool connected = ProbeDialUpConnection(remoteAccess, dialUpAddress);

    QVERIFY2(listed == connections, qPrintable(Describe(listed)));
    QCOMPARE(connected, !address.isEmpty());
    QCOMPARE(dialUpAddress, address);
}

QTEST_GUILESS_MAIN(RemoteAccessLiveTest)
#include "RemoteAccessLiveTest.moc"
