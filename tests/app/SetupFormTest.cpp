#include "tests/app/FormWorld.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

// The controller's flows, driven the way the user drives them: start, Setup, edit, Save,
// Cancel, Exit and the close box, against a fake store, fake sounds and a fake tray.
class SetupFormTest final : public QObject
{
    Q_OBJECT

private slots:
    void firstStartOpensTheDialog();
    void laterStartStaysInTheTray();
    void saveRefusesAnEmptyServer();
    void saveWritesOnlyWhenSomethingChanged();
    void saveWritesEverySettingInOrder();
    void passwordAloneIsAChange();
    void exitAsksOnlyAfterSetupWithChanges_data();
    void exitAsksOnlyAfterSetupWithChanges();
    void cancelPutsTheSnapshotBack();
    void noMailProgramForcesWarnTheUser();
    void mailTimerRunsOnlyWithCompleteMailSettings_data();
    void mailTimerRunsOnlyWithCompleteMailSettings();
    void storedValuesLoad_data();
    void storedValuesLoad();
    void launcherSectionIsRewrittenOnlyWhenEdited();
    void storeErrorsGoToTheErrorBox();
    void aboutTakesTheSnapshotAndReturnsToTheTray();
    void boxOverTheOpenDialogLeavesItAsItWas_data();
    void boxOverTheOpenDialogLeavesItAsItWas();
};

void SetupFormTest::firstStartOpensTheDialog()
{
    FormWorld world;
    TSetupForm& form = world.Start();

    QVERIFY(form.isVisible());
    QCOMPARE(form.ui->PageControl1->currentWidget(), form.ui->TabSheet1);
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QVERIFY(form.State.SetupOpened);
    QVERIFY(form.State.Busy);
    QCOMPARE(form.ui->AppLaunchTextListBox->count(), 0);
    QVERIFY(!form.ui->RemoveButton->isEnabled());
    QVERIFY(!form.ui->RemoveAllButton->isEnabled());
    QCOMPARE(form.ui->EmailIntervalRxSpinEdit->value(), 0);
    QCOMPARE(form.EmailRadioGroup.ItemIndex(), 0);
    QVERIFY(!form.ui->EmailConfigureButton->isEnabled());
    QCOMPARE(world.TrayTip(), QStringLiteral("kronvik"));
    // Reading created the program's key, and nothing else.
    QCOMPARE(world.store.Keys(), QStringList { "Kronvik" });
    QVERIFY(world.store.Writes().isEmpty());
}

void SetupFormTest::laterStartStaysInTheTray()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();

    QVERIFY(!form.isVisible());
    QVERIFY(!world.application.TaskbarWindowVisible());
    QCOMPARE(world.TrayTip(), TrayHint);
    QVERIFY(world.sound.PlayedNames().isEmpty());
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.State.SetupOpened);
}

void SetupFormTest::saveRefusesAnEmptyServer()
{
    FormWorld world;
    TSetupForm& form = world.Start();
    form.ui->PageControl1->setCurrentWidget(form.ui->TabSheet3);

    form.ui->OkButton->click();

    QVERIFY(form.isVisible());
    QCOMPARE(form.ui->PageControl1->currentWidget(), form.ui->TabSheet1);
    QCOMPARE(world.sound.PlayedNames(), (QStringList { "WAV_ERR", "WAV_ERR" }));
    QVERIFY(world.store.Writes().isEmpty());
    QVERIFY(form.State.SetupOpened);
    QVERIFY(form.State.Busy);
}

void SetupFormTest::saveWritesOnlyWhenSomethingChanged()
{
    FormWorld world;
    TSetupForm& form = world.Start();
    form.ui->ServerAddrEdit->setText("time.example.test");
    form.ui->OkButton->click();

    QVERIFY(!form.isVisible());
    QCOMPARE(world.TrayTip(), TrayHint);
    QCOMPARE(world.Stored("Server", "Address"), QByteArray("time.example.test"));
    QCOMPARE(world.Stored("EmailVfy", "Interval"), QByteArray("0"));
    QCOMPARE(world.Stored("EmailVfy", "EmailClient"), QByteArray("<missing>")); // "Warn the user"
    QCOMPARE(world.store.Writes().size(), 8);

    // Unchanged settings are not written again, and waiting mail is announced anew.
    form.State.NotifiedCount = 3;
    form.State.NotifiedOctets = 900;
    form.SetupClick();
    QVERIFY(form.isVisible());
    form.ui->OkButton->click();
    QCOMPARE(world.store.Writes().size(), 8);
    QCOMPARE(form.State.NotifiedCount, 0);
    QCOMPARE(form.State.NotifiedOctets, 0);
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.State.SetupOpened);
}

// Writes before a failure stay written, so the order matters; the password is stored scrambled
// and comes back plain; the mail program is written only when it is to be offered.
void SetupFormTest::saveWritesEverySettingInOrder()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    world.Store("EmailVfy", "EmailClient", "/usr/bin/mutt");
    world.Store("EmailVfy", "Action", "1");
    TSetupForm& form = world.Start();
    form.SetupClick();
    form.ui->EmailPOPServerEdit->setText("pop.example.test");
    form.ui->EmailUsernameEdit->setText("kim");
    form.ui->EmailPasswordEdit->setText(QStringLiteral("s\u00E9cret"));
    form.ui->EmailIntervalRxSpinEdit->setValue(5);
    form.State.EmailClientPath = "/usr/bin/thunderbird";
    form.ui->OkButton->click();

    QStringList order;
    for (const FakeRegistry::Write& write : world.store.Writes())
        order << write.name;
    QCOMPARE(order,
             (QStringList { "Address", "TimeMode", "DetectMode", "POPServer", "Username", "Password", "Interval",
                            "Action", "EmailClient" }));
    QCOMPARE(world.Stored("EmailVfy", "EmailClient"), QByteArray("/usr/bin/thunderbird"));
    const QByteArray stored = world.Stored("EmailVfy", "Password");
    QCOMPARE(stored.size(), QStringLiteral("s\u00E9cret").toUtf8().size());
    QVERIFY(stored != QStringLiteral("s\u00E9cret").toUtf8());

    // "Warn the user" leaves the stored mail program alone.
    form.SetupClick();
    form.EmailRadioGroup.SetItemIndex(0);
    form.ui->OkButton->click();
    QCOMPARE(world.store.Writes().last().name, QStringLiteral("Action"));
    QCOMPARE(world.Stored("EmailVfy", "EmailClient"), QByteArray("/usr/bin/thunderbird"));

    world.form.reset();
    QCOMPARE(world.Start().ui->EmailPasswordEdit->text(), QStringLiteral("s\u00E9cret"));
}

void SetupFormTest::passwordAloneIsAChange()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    form.SetupClick();
    form.ui->EmailPasswordEdit->setText("new");
    QVERIFY(form.SettingsChanged());
    form.Exit1->trigger();
    QCOMPARE(world.boxes.confirmations, QStringList { "Save current settings before exit?" });
}

void SetupFormTest::exitAsksOnlyAfterSetupWithChanges_data()
{
    QTest::addColumn<bool>("openSetup");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("thenPress"); // before Exit
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<bool>("viaCloseBox");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QByteArray>("storedServer");

    QTest::newRow("exit from the tray, no setup")
        << false << false << "" << true << false << false << QByteArray("old");
    QTest::newRow("setup, no change") << true << false << "" << true << false << false << QByteArray("old");
    QTest::newRow("setup, change, answer no") << true << true << "" << false << false << true << QByteArray("old");
    QTest::newRow("setup, change, answer yes") << true << true << "" << true << false << true << QByteArray("new");
    QTest::newRow("setup, change, save, exit") << true << true << "save" << true << false << false << QByteArray("new");
    QTest::newRow("setup, change, cancel, exit")
        << true << true << "cancel" << true << false << false << QByteArray("old");
    QTest::newRow("close box behaves as exit") << true << true << "" << true << true << true << QByteArray("new");
    // A damaged store: the place alone cannot be written, which ends nothing; a failing Save does.
    QTest::newRow("damaged store, answer no") << true << true << "damage" << false << true << true << QByteArray("old");
    QTest::newRow("damaged store, answer yes") << true << true << "damage" << true << true << true << QByteArray("old");
}

void SetupFormTest::exitAsksOnlyAfterSetupWithChanges()
{
    QFETCH(bool, openSetup);
    QFETCH(bool, change);
    QFETCH(QString, thenPress);
    QFETCH(bool, answerYes);
    QFETCH(bool, viaCloseBox);
    QFETCH(bool, asked);
    QFETCH(QByteArray, storedServer);

    FormWorld world;
    world.Store("Server", "Address", "old");
    TSetupForm& form = world.Start();
    world.boxes.confirmAnswer = answerYes;
    if (openSetup)
        form.SetupClick();
    if (change)
        form.ui->ServerAddrEdit->setText("new");
    if (thenPress == "save")
        form.ui->OkButton->click();
    if (thenPress == "cancel")
        form.ui->CancelButton->click();
    if (thenPress == "damage")
        world.store.FailCreateKey("Kronvik");
    const qsizetype soundsBefore = world.sound.PlayedNames().size();

    if (viaCloseBox)
        form.close();
    else
        form.Exit1->trigger();

    QCOMPARE(world.boxes.confirmations.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(world.boxes.confirmations.first(), QStringLiteral("Save current settings before exit?"));
        QCOMPARE(world.sound.PlayedNames().mid(soundsBefore), QStringList { "WAV_ERR" });
    }
    QCOMPARE(world.Stored("Server", "Address"), storedServer);
    // The program, and then its dialog, stays only when a Save fails; what failed is shown once.
    QCOMPARE(world.application.Terminated(), !(thenPress == "damage" && answerYes));
    QVERIFY(world.application.Terminated() || form.isVisible());
    QCOMPARE(world.boxes.errors.size(), thenPress == "damage" ? 1 : 0);
    // Sent back or not, a dialog shown in this run has its place written.
    QCOMPARE(world.Stored("Position", "TSetupForm_Top") != "<missing>", openSetup && thenPress != "damage");
}

void SetupFormTest::cancelPutsTheSnapshotBack()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    world.Store("EmailVfy", "POPServer", "pop.example.test");
    world.Store("EmailVfy", "Interval", "5");
    TSetupForm& form = world.Start();
    form.SetupClick();

    form.ui->ServerAddrEdit->setText("other");
    form.GetTimeRadioGroup.SetItemIndex(1);
    form.ui->EmailPOPServerEdit->setText("changed");
    form.ui->EmailIntervalRxSpinEdit->setValue(17);
    form.ui->CancelButton->click();

    QCOMPARE(form.ui->ServerAddrEdit->text(), QStringLiteral("time.example.test"));
    QCOMPARE(form.GetTimeRadioGroup.ItemIndex(), 0);
    QCOMPARE(form.ui->EmailPOPServerEdit->text(), QStringLiteral("pop.example.test"));
    QCOMPARE(form.ui->EmailIntervalRxSpinEdit->value(), 5);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.State.Busy);
    QVERIFY(world.store.Writes().isEmpty());
}

void SetupFormTest::noMailProgramForcesWarnTheUser()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    world.Store("EmailVfy", "Action", "1"); // not read: no mail program was ever chosen
    TSetupForm& form = world.Start();
    QCOMPARE(form.EmailRadioGroup.ItemIndex(), 0);

    for (QPushButton* button : { form.ui->OkButton, form.ui->CancelButton }) {
        form.SetupClick();
        form.EmailRadioGroup.SetItemIndex(1);
        form.ui->EmailConfigureButton->setEnabled(true);
        button->click();
        QCOMPARE(form.EmailRadioGroup.ItemIndex(), 0);
        QVERIFY(!form.ui->EmailConfigureButton->isEnabled());
    }
    QCOMPARE(world.Stored("EmailVfy", "EmailClient"), QByteArray("<missing>"));
}

void SetupFormTest::mailTimerRunsOnlyWithCompleteMailSettings_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("expectedInterval"); // 0: the check stays off

    QTest::newRow("complete") << "pop.example.test"
                              << "secret" << 5 << 300000;
    QTest::newRow("interval 0") << "pop.example.test"
                                << "secret" << 0 << 0;
    QTest::newRow("no password") << "pop.example.test"
                                 << "" << 5 << 0;
    QTest::newRow("no server") << ""
                               << "secret" << 60 << 0;
}

void SetupFormTest::mailTimerRunsOnlyWithCompleteMailSettings()
{
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(int, interval);
    QFETCH(int, expectedInterval);

    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    form.SetupClick();
    QVERIFY(!form.RxTimerEvent4.Enabled());
    form.ui->EmailPOPServerEdit->setText(server);
    form.ui->EmailUsernameEdit->setText("tester");
    form.ui->EmailPasswordEdit->setText(password);
    form.ui->EmailIntervalRxSpinEdit->setValue(interval);
    form.ui->OkButton->click();

    QCOMPARE(form.RxTimerEvent4.Enabled(), expectedInterval != 0);
    if (expectedInterval != 0)
        QCOMPARE(form.RxTimerEvent4.Interval(), expectedInterval);
}

void SetupFormTest::storedValuesLoad_data()
{
    QTest::addColumn<QByteArray>("timeMode");
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<int>("expectedTimeMode");
    QTest::addColumn<int>("expectedInterval");

    QTest::newRow("hexadecimal 0x1") << QByteArray("0x1") << QByteArray("2") << 1 << 2;
    QTest::newRow("abc gives the default") << QByteArray("abc") << QByteArray("15") << 0 << 15;
    QTest::newRow("7 is the last item") << QByteArray("7") << QByteArray("60") << 1 << 60;
    QTest::newRow("-5 selects none") << QByteArray("-5") << QByteArray("0") << -1 << 0;
    QTest::newRow("interval not a number: 0") << QByteArray("1") << QByteArray("often") << 1 << 0;
    QTest::newRow("interval out of range: kept within") << QByteArray("0") << QByteArray("99.6") << 0 << 60;
    QTest::newRow("interval past 32 bits: the limit") << QByteArray("0") << QByteArray("3000000000") << 0 << 60;
    QTest::newRow("interval 1e10: the limit") << QByteArray("0") << QByteArray("1e10") << 0 << 60;
}

void SetupFormTest::storedValuesLoad()
{
    QFETCH(QByteArray, timeMode);
    QFETCH(QByteArray, interval);
    QFETCH(int, expectedTimeMode);
    QFETCH(int, expectedInterval);

    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    world.Store("Server", "TimeMode", timeMode);
    world.Store("EmailVfy", "Interval", interval);
    world.Store("EmailVfy", "EmailClient", "/usr/bin/thunderbird");
    world.Store("EmailVfy", "Action", "1");
    TSetupForm& form = world.Start();

    QCOMPARE(form.GetTimeRadioGroup.ItemIndex(), expectedTimeMode);
    QCOMPARE(form.ui->EmailIntervalRxSpinEdit->value(), expectedInterval);
    // Loading went on to the end whatever the interval said.
    QCOMPARE(form.EmailRadioGroup.ItemIndex(), 1);
    QVERIFY(form.ui->EmailConfigureButton->isEnabled());
    QCOMPARE(form.OpenDialog2.InitialDir, QStringLiteral("/usr/bin/"));
    QCOMPARE(form.OpenDialog2.FileName, QStringLiteral("thunderbird"));
    QVERIFY(world.boxes.errors.isEmpty());
}

void SetupFormTest::launcherSectionIsRewrittenOnlyWhenEdited()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    for (int i = 0; i < 12; ++i)
        world.Store("AppLauncher", QStringLiteral("Custom%1").arg(i),
                    QByteArray("/usr/bin/prog") + QByteArray::number(i));
    TSetupForm& form = world.Start();
    QCOMPARE(form.ui->AppLaunchTextListBox->count(), 12);
    QCOMPARE(form.ui->AppLaunchTextListBox->item(11)->text(), QStringLiteral("/usr/bin/prog11"));
    QVERIFY(form.ui->RemoveButton->isEnabled());

    form.SetupClick();
    form.ui->ServerAddrEdit->setText("other");
    form.ui->OkButton->click();
    QCOMPARE(world.Stored("AppLauncher", "Custom3"), QByteArray("/usr/bin/prog3"));

    // An emptied list leaves no section behind.
    form.SetupClick();
    form.ui->AppLaunchTextListBox->clear();
    form.State.AppListModified = true;
    form.ui->OkButton->click();
    QVERIFY(!world.store.HasKey("Kronvik\\AppLauncher"));
    QVERIFY(!form.State.AppListModified);
}

void SetupFormTest::storeErrorsGoToTheErrorBox()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    form.SetupClick();
    form.ui->ServerAddrEdit->setText("other");
    world.store.SetFailWrites(true);

    form.ui->OkButton->click();

    QCOMPARE(world.boxes.errors, QStringList { "kronvik|Failed to set data for 'Address'.\r\n\r\nwriting refused." });
    // The handler ended there: the dialog is still up and nothing was half-done after it.
    QVERIFY(form.isVisible());
    QVERIFY(form.State.SetupOpened);
}

void SetupFormTest::aboutTakesTheSnapshotAndReturnsToTheTray()
{
    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    bool busyWhileUp = false;
    QTimer::singleShot(0, [&] {
        busyWhileUp = form.State.Busy;
        if (QWidget* about = QApplication::activeModalWidget())
            about->close();
    });

    form.About1->trigger();

    QVERIFY(busyWhileUp);
    QVERIFY(!form.State.Busy);
    QCOMPARE(world.TrayTip(), TrayHint);
    QCOMPARE(form.Snapshot.SavedServerAddress, QStringLiteral("time.example.test"));
    // The snapshot is no longer empty, but Exit still asks nothing: the dialog was never opened.
    form.ExitButtonClick();
    QVERIFY(world.boxes.confirmations.isEmpty());
}

void SetupFormTest::boxOverTheOpenDialogLeavesItAsItWas_data()
{
    QTest::addColumn<bool>("failedQuery"); // else the About box

    QTest::newRow("About box") << false;
    QTest::newRow("warning of a query started from the tray") << true;
}

// Edits made in the dialog are still saved after the box, and nothing runs under the dialog.
void SetupFormTest::boxOverTheOpenDialogLeavesItAsItWas()
{
    QFETCH(bool, failedQuery);

    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    world.Store("EmailVfy", "POPServer", "pop.example.test");
    world.Store("EmailVfy", "Username", "kim");
    world.Store("EmailVfy", "Password", "x");
    world.Store("EmailVfy", "Interval", "5");
    TSetupForm& form = world.Start();
    if (failedQuery)
        world.tray.Press({ NotificationIcon::LeftButtonDoubleClick });
    form.SetupClick();
    form.ui->ServerAddrEdit->setText("edited.example.test");

    if (failedQuery) {
        QCoreApplication::sendPostedEvents(); // the server's name does not resolve
        QCOMPARE(world.boxes.warnings.size(), 1);
    } else {
        QTimer::singleShot(0, [] {
            if (QWidget* about = QApplication::activeModalWidget())
                about->close();
        });
        form.About1->trigger();
    }

    QVERIFY(form.isVisible());
    QVERIFY(form.State.Busy);
    QVERIFY(!form.RxTimerEvent4.Enabled());
    QCOMPARE(world.TrayTip(), world.application.Title());
    QCOMPARE(form.Snapshot.SavedServerAddress, QStringLiteral("time.example.test"));
    form.ui->OkButton->click();
    QCOMPARE(world.Stored("Server", "Address"), QByteArray("edited.example.test"));

    // A box from the tray, and "Setup" chosen while it is up: the dialog stays up, and Busy set.
    QTimer::singleShot(0, &form, &TSetupForm::SetupClick);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    form.About1->trigger();
    QVERIFY(form.isVisible() && form.State.Busy && !form.RxTimerEvent4.Enabled());
}

QTEST_MAIN(SetupFormTest)
#include "SetupFormTest.moc"
