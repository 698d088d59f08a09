#include "tests/mail/MailWorld.h"

#include <QTest>

// What a click on the new-mail icon shows and starts, and the two controls of the e-mail page
// that choose it.
class NewMailNoticeTest final : public QObject
{
    Q_OBJECT

private slots:
    void clickReportsTheMail_data();
    void clickReportsTheMail();
    void configureChoosesTheMailProgram();
};

void NewMailNoticeTest::clickReportsTheMail_data()
{
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QStringList>("opened");

    const QString two = QStringLiteral("You have 2 new messages,\r\ntotalizing 320 octets.");
    const QString offer = two + QStringLiteral("\r\n\r\nGet the new mail now?");
    const QStringList none;
    QTest::newRow("warn the user") << QByteArray("+OK 2 320\r\n") << 0 << false << QStringList { two } << none << none;
    QTest::newRow("one message, same wording")
        << QByteArray("+OK 1 2048\r\n") << 0 << false
        << QStringList { "You have 1 new messages,\r\ntotalizing 2048 octets." } << none << none;
    QTest::newRow("offer, yes: the mail program starts")
        << QByteArray("+OK 2 320\r\n") << 1 << true << none << QStringList { offer }
        << QStringList { "/usr/bin/mail-program" };
    QTest::newRow("offer, no: nothing starts")
        << QByteArray("+OK 2 320\r\n") << 1 << false << none << QStringList { offer } << none;
}

void NewMailNoticeTest::clickReportsTheMail()
{
    QFETCH(QByteArray, stat);
    QFETCH(int, action);
    QFETCH(bool, yes);
    QFETCH(QStringList, warnings);
    QFETCH(QStringList, questions);
    QFETCH(QStringList, opened);

    MailWorld world;
    TSetupForm& form = *world.form;
    form.State.EmailClientPath = QStringLiteral("/usr/bin/mail-program");
    form.EmailRadioGroup.SetItemIndex(action);
    world.boxes.confirmAnswer = yes;
    world.Tick(MailWorld::Mailbox(stat));
    QVERIFY(world.MailIcon().shown);
    world.ticks.Advance(5000); // the user takes a while to notice

    bool busyWhileShown = false;
    world.boxes.whileWarning = [&] { busyWhileShown = form.State.Busy && !world.MailIcon().shown; };
    world.MailIcon().Press({ NotificationIcon::RightButtonDown, NotificationIcon::RightButtonUp });

    QCOMPARE(world.boxes.warnings, warnings);
    QCOMPARE(world.boxes.confirmations, questions);
    QCOMPARE(world.shell.opened, opened);
    if (!warnings.isEmpty())
        QVERIFY(busyWhileShown);
    QVERIFY(!form.RxTrayIcon1.Active());
    QVERIFY(!form.RxTrayIcon1.Animated());
    QVERIFY(!world.MailIcon().shown);
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.State.MailCheckBusy);
    QCOMPARE(world.TrayTip(), TrayHint);
    // Checks resume one whole interval after the box was answered.
    QVERIFY(form.RxTimerEvent4.Enabled());
    QCOMPARE(form.RxTimerEvent4.LastFireTick(), world.ticks.TickCount());

    // A click that was still on its way reports nothing more.
    world.MailIcon().Press({ NotificationIcon::LeftButtonDown, NotificationIcon::LeftButtonUp });
    QCOMPARE(world.boxes.warnings.size() + world.boxes.confirmations.size(), 1);
}

void NewMailNoticeTest::configureChoosesTheMailProgram()
{
    FormWorld world;
    world.Store("Server", "Address", "127.0.0.1");
    world.Store("EmailVfy", "EmailClient", "/usr/bin/old-mail");
    world.Store("EmailVfy", "Action", "0");
    TSetupForm& form = world.Start();
    Ui::TSetupForm& ui = *form.ui;
    form.SetupClick();

    QVERIFY(!ui.EmailConfigureButton->isEnabled());
    ui.EmailRadioGroupItem1->click();
    QVERIFY(ui.EmailConfigureButton->isEnabled());
    ui.EmailRadioGroupItem0->click();
    QVERIFY(!ui.EmailConfigureButton->isEnabled());
    ui.EmailRadioGroupItem1->click();

    // The dialog opens at the current choice; what is picked becomes the path and the next start.
    world.fileDialogs.answers = { QStringLiteral("/opt/mail/bin/new-mail"), std::nullopt };
    ui.EmailConfigureButton->click();
    QCOMPARE(world.fileDialogs.shown.size(), 1);
    QCOMPARE(world.fileDialogs.shown[0].Title, QStringLiteral("Kronvik - Select Email client"));
    QCOMPARE(world.fileDialogs.shown[0].Filter, QStringLiteral("Executable Files|*;*.desktop"));
    QCOMPARE(world.fileDialogs.shown[0].InitialDir, QStringLiteral("/usr/bin/"));
    QCOMPARE(world.fileDialogs.shown[0].FileName, QStringLiteral("old-mail"));
    QCOMPARE(form.State.EmailClientPath, QStringLiteral("/opt/mail/bin/new-mail"));
    QCOMPARE(form.OpenDialog2.InitialDir, QStringLiteral("/opt/mail/bin/"));
    QCOMPARE(form.OpenDialog2.FileName, QStringLiteral("new-mail"));

    // Cancelled the second time: the pick of this visit is dropped, the path is the one the
    // dialog was opened with, and the choice stays.
    ui.EmailConfigureButton->click();
    QCOMPARE(form.State.EmailClientPath, QStringLiteral("/usr/bin/old-mail"));
    QCOMPARE(form.EmailRadioGroup.ItemIndex(), 1);
    QVERIFY(ui.EmailConfigureButton->isEnabled());

    // Without any program chosen, cancelling takes the offer back.
    FormWorld fresh;
    fresh.Store("Server", "Address", "127.0.0.1");
    TSetupForm& second = fresh.Start();
    second.SetupClick();
    second.ui->EmailRadioGroupItem1->click();
    second.ui->EmailConfigureButton->click();
    QCOMPARE(second.State.EmailClientPath, NoMailClient);
    QCOMPARE(second.EmailRadioGroup.ItemIndex(), 0);
    QVERIFY(!second.ui->EmailConfigureButton->isEnabled());
}

QTEST_MAIN(NewMailNoticeTest)
#include "NewMailNoticeTest.moc"
