#include "tests/mail/MailWorld.h"

#include <QTest>

using Reply = MailWorld::Reply;

Q_DECLARE_METATYPE(QList<MailWorld::Reply>)

// The mailbox check of the mail timer against a scripted POP3 server: the commands sent, when
// mail counts as new, when the server is not contacted at all, and servers that misbehave.
class MailCheckTest final : public QObject
{
    Q_OBJECT

private slots:
    void newMailIsAnnouncedOnce();
    void serverIsLeftAloneUnlessAllowed_data();
    void serverIsLeftAloneUnlessAllowed();
    void failedChecksEndSilently_data();
    void failedChecksEndSilently();
    void addressChoosesTheDialogue_data();
    void addressChoosesTheDialogue();
};

namespace {

const QStringList Dialogue { "User tester\r\n", "Pass secret\r\n", "Stat\r\n", "Quit\r\n" };

void Click(MailWorld& world)
{
    world.MailIcon().Press({ NotificationIcon::LeftButtonDown, NotificationIcon::LeftButtonUp });
}

} // namespace

void MailCheckTest::newMailIsAnnouncedOnce()
{
    MailWorld world;
    TSetupForm& form = *world.form;
    world.Tick(MailWorld::Mailbox("+OK 2 320\r\n"));
    QVERIFY(world.sockets.Calls().contains(QStringLiteral("connect %1 127.0.0.1:110").arg(world.socket)));
    QCOMPARE(world.Sent(), Dialogue);
    QCOMPARE(form.TCPClient2.State(), ssIdle);
    QVERIFY(form.RxTrayIcon1.Active());
    QVERIFY(form.RxTrayIcon1.Animated());
    QVERIFY(world.MailIcon().shown);
    QCOMPARE(world.MailIcon().tip, QStringLiteral("You have new Email! Click here to see details."));
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_MAIL" });
    QVERIFY(form.State.MailCheckBusy);

    // The notice waits for the user: the server is not asked again meanwhile.
    world.Tick(MailWorld::Mailbox("+OK 2 320\r\n"));
    world.Tick(MailWorld::Mailbox("+OK 2 320\r\n"));
    QCOMPARE(world.Connects(), 1);

    Click(world);
    QCOMPARE(world.boxes.warnings, QStringList { "You have 2 new messages,\r\ntotalizing 320 octets." });
    QVERIFY(!world.MailIcon().shown);
    QVERIFY(!form.State.MailCheckBusy);

    // Once announced, the same figures stay silent, also after an empty mailbox in between.
    for (const QByteArray stat : { "+OK 2 320\r\n", "+OK 0 0\r\n", "+OK 2 320\r\n" }) {
        world.Tick(MailWorld::Mailbox(stat));
        QCOMPARE(world.Sent(), Dialogue);
        QVERIFY(!world.MailIcon().shown);
        QVERIFY(!form.State.MailCheckBusy);
    }
    QCOMPARE(world.Connects(), 4);
    QCOMPARE(form.State.NotifiedCount, 2);
    QCOMPARE(form.State.NotifiedOctets, 320);
    QCOMPARE(world.sound.PlayedNames().size(), 1);

    // A message more is news, even with the same total size.
    world.Tick(MailWorld::Mailbox("+OK 3 320\r\n"));
    QVERIFY(world.MailIcon().shown);
    QCOMPARE(world.sound.PlayedNames(), QStringList({ "WAV_MAIL", "WAV_MAIL" }));
    Click(world);

    // After a Save, mail still waiting is announced again.
    form.SetupClick();
    form.OkButtonClick();
    world.Tick(MailWorld::Mailbox("+OK 3 320\r\n"));
    QVERIFY(world.MailIcon().shown);
    QCOMPARE(world.sound.PlayedNames().size(), 3);
    QVERIFY(world.boxes.errors.isEmpty());
}

void MailCheckTest::serverIsLeftAloneUnlessAllowed_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("manual mode") << "manual";
    QTest::newRow("no dial-up link") << "offline";
    QTest::newRow("a time query runs") << "busy";
}

void MailCheckTest::serverIsLeftAloneUnlessAllowed()
{
    QFETCH(QString, situation);

    MailWorld world;
    TSetupForm& form = *world.form;
    if (situation == QLatin1String("manual"))
        form.DetectModeRadioGroup.SetItemIndex(1);
    else if (situation == QLatin1String("offline"))
        world.dialup.HangUp();
    else
        form.GettimeClick();
    world.sockets.ClearCalls();
    world.Tick(MailWorld::Mailbox("+OK 2 320\r\n"));
    QVERIFY(world.sockets.Calls().filter(QStringLiteral(":110")).isEmpty());
    QVERIFY(!form.State.MailCheckBusy);
    QVERIFY(!world.MailIcon().shown);
}

void MailCheckTest::failedChecksEndSilently_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<Reply>>("script");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<bool>("untilDeadline");
    QTest::addColumn<QStringList>("warnings");

    const Reply greeting { "+OK ready\r\n" };
    const Reply ok { "+OK\r\n" };
    const Reply silence { {} };
    const QString user = QStringLiteral("tester");
    const QString password = QStringLiteral("secret");
    const QStringList none;
    const QStringList login = Dialogue.mid(0, 2);

    QTest::newRow("greeting -ERR") << user << password << QList<Reply> { { "-ERR not now\r\n" } } << none << false
                                   << none;
    QTest::newRow("never greets") << user << password << QList<Reply> { silence } << none << true << none;
    QTest::newRow("wrong password") << user << password
                                    << QList<Reply> { greeting, ok, { "-ERR [AUTH] Authentication failed.\r\n" } }
                                    << login << false << none;
    QTest::newRow("stalls after the user name")
        << user << password << QList<Reply> { greeting, silence } << Dialogue.mid(0, 1) << true << none;
    // One deadline for the dialogue: slow replies use it up; it does not start again per step.
    QTest::newRow("slow replies, then silence")
        << user << password << QList<Reply> { { "+OK ready\r\n", 8000 }, { "+OK\r\n", 8000 }, silence } << login << true
        << none;
    QTest::newRow("STAT with letters") << user << password << MailWorld::Mailbox("+OK two 320\r\n") << Dialogue << false
                                       << none;
    QTest::newRow("STAT without numbers")
        << user << password << MailWorld::Mailbox("+OK\r\n") << Dialogue << false << none;
    QTest::newRow("STAT past 32 bits") << user << password << MailWorld::Mailbox("+OK 4294967298 320\r\n") << Dialogue
                                       << false << none;
    QTest::newRow("QUIT refused: the figures are dropped")
        << user << password << QList<Reply> { greeting, ok, ok, { "+OK 2 320\r\n" }, { "-ERR\r\n" } } << Dialogue
        << false << none;
    QTest::newRow("reply split: judged by its first part")
        << user << password << QList<Reply> { { "+O" }, { "K ready\r\n" } } << none << false << none;
    QTest::newRow("a reply of several kilobytes")
        << user << password
        << QList<Reply> { { "+OK " + QByteArray(5000, 'x') + "\r\n" }, ok, ok, { "+OK 2 320\r\n" }, ok }
        << Dialogue.mid(0, 1) << false << none;
    // No command goes out on a connection the server has closed.
    QTest::newRow("closes after the greeting")
        << user << password << QList<Reply> { { "+OK ready\r\n", 0, Reply::Data, true } } << none << false << none;
    QTest::newRow("closes after the user name")
        << user << password << QList<Reply> { greeting, { {}, 0, Reply::Close } } << Dialogue.mid(0, 1) << true << none;
    // A broken connection is a socket error: the shared handler reports it.
    QTest::newRow("connection reset")
        << user << password << QList<Reply> { greeting, { {}, 0, Reply::Reset } } << Dialogue.mid(0, 1) << false
        << QStringList { "Winsock has reported the following error:\r\n\r\n10054: Connection reset by peer" };
    // A line break would let the rest of the name pass for a command of its own.
    QTest::newRow("user name with a line break")
        << "tester\r\nDELE 1" << password << MailWorld::Mailbox("+OK 2 320\r\n") << none << false << none;
    QTest::newRow("password with a line feed")
        << user << "secret\nDELE 1" << MailWorld::Mailbox("+OK 2 320\r\n") << none << false << none;
    // Log-off or Exit from a box that was up meanwhile: the wait must not hold the program.
    QTest::newRow("the program is asked to end") << user << "quit" << QList<Reply> { silence } << none << false << none;
}

void MailCheckTest::failedChecksEndSilently()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QList<Reply>, script);
    QFETCH(QStringList, sent);
    QFETCH(bool, untilDeadline);
    QFETCH(QStringList, warnings);

    const bool quit = password == QLatin1String("quit");
    MailWorld world(user, password);
    const bool unsafe = (user + password).contains(QLatin1Char('\n'));
    if (quit)
        world.whileWaiting = [&world] { world.application.Terminate(); };
    TSetupForm& form = *world.form;
    world.Tick(script);

    QCOMPARE(world.Sent(), sent);
    if (unsafe)
        QCOMPARE(world.Connects(), 0);
    if (untilDeadline) {
        QVERIFY(world.firstWait.has_value());
        const std::uint32_t lasted = world.lastWait - *world.firstWait;
        QVERIFY2(lasted >= 18900 && lasted <= 20000, qPrintable(QString::number(lasted)));
    } else if (world.firstWait) {
        QVERIFY2(world.lastWait - *world.firstWait < 1000,
                 qPrintable(QString::number(world.lastWait - *world.firstWait)));
    }
    QCOMPARE(world.boxes.warnings, warnings);
    QVERIFY(!form.State.MailCheckBusy);
    QCOMPARE(form.TCPClient2.State(), ssIdle);
    QCOMPARE(world.sockets.OpenSockets(), 0);
    QVERIFY(!form.RxTrayIcon1.Active());
    QVERIFY(!world.MailIcon().shown);
    QVERIFY(!world.sound.PlayedNames().contains(QStringLiteral("WAV_MAIL")));
    QCOMPARE(form.State.NotifiedCount, 0);

    // The next tick checks again, and finds what a good server says.
    world.Tick(MailWorld::Mailbox("+OK 1 100\r\n"));
    QCOMPARE(world.MailIcon().shown, !unsafe && !quit);
}

void MailCheckTest::addressChoosesTheDialogue_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QList<Reply>>("script");
    QTest::addColumn<QString>("connect");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("warning");

    const QString noStls = QStringLiteral(
        "The mail server 127.0.0.1 (port %1) was not checked: it does not offer STLS, so the password was not sent.");
    const QStringList capa { "CAPA\r\n" };
    QTest::newRow("host and port") << "127.0.0.1:1110" << MailWorld::Mailbox("+OK 2 320\r\n") << "127.0.0.1:1110"
                                   << Dialogue << QString();
    QTest::newRow("STLS not offered") << "pop3://127.0.0.1"
                                      << QList<Reply> { { "+OK ready\r\n" }, { "+OK\r\nUSER\r\nSTLSX\r\n.\r\n" } }
                                      << "127.0.0.1:110" << capa << noStls.arg(110);
    QTest::newRow("no capabilities") << "POP3://127.0.0.1:2110#sha256=00"
                                     << QList<Reply> { { "+OK ready\r\n" }, { "-ERR unknown command\r\n" } }
                                     << "127.0.0.1:2110" << capa << noStls.arg(2110);
}

void MailCheckTest::addressChoosesTheDialogue()
{
    QFETCH(QString, address);
    QFETCH(QList<Reply>, script);
    QFETCH(QString, connect);
    QFETCH(QStringList, sent);
    QFETCH(QString, warning);

    MailWorld world;
    world.form->ui->EmailPOPServerEdit->setText(address);
    world.Tick(script);
    QVERIFY(world.sockets.Calls().contains(QStringLiteral("connect %1 %2").arg(world.socket).arg(connect)));
    QCOMPARE(world.Sent(), sent);
    QCOMPARE(world.boxes.warnings, warning.isEmpty() ? QStringList() : QStringList { warning });
    // Reported once per kind: the same failure again stays silent.
    world.Tick(script);
    QCOMPARE(world.boxes.warnings.size(), warning.isEmpty() ? 0 : 1);
}

QTEST_MAIN(MailCheckTest)
#include "MailCheckTest.moc"
