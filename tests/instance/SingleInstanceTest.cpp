#include "app/JustOne32.h"
#include "app/PreviousInstance.h"
#include "tests/app/FormWorld.h"
#include "tests/fakes/FakeSingleInstance.h"

#include <QTest>

using LockResult = SingleInstance::LockResult;

// The start-up test and the hand-over against a fake lock: which copy hands over and ends, which
// one listens, and what the running copy does when a later one asks for it.
class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private slots:
    void startUpTest_data();
    void startUpTest();
    void laterCopyBringsTheDialogUp_data();
    void laterCopyBringsTheDialogUp();
};

void SingleInstanceTest::startUpTest_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<LockResult>("lockResult");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("terminated");

    QTest::newRow("first copy listens") << "kronvik" << LockResult::Acquired << true
                                        << QStringList { "lock:kronvik", "listen", "unlock" } << false;
    QTest::newRow("later copy hands over and ends")
        << "kronvik" << LockResult::Held << true << QStringList { "lock:kronvik", "hand-over:kronvik" } << true;
    QTest::newRow("later copy ends when no one answers")
        << "kronvik" << LockResult::Held << false << QStringList { "lock:kronvik", "hand-over:kronvik" } << true;
    QTest::newRow("no lock: runs alone") << "kronvik" << LockResult::Failed << true << QStringList { "lock:kronvik" }
                                         << false;
    const QString longTitle = QStringLiteral("K") + QString(299, QLatin1Char('x'));
    const QString name = longTitle.left(255);
    QTest::newRow("the name is the title's first 255 characters")
        << longTitle << LockResult::Held << true << QStringList { "lock:" + name, "hand-over:" + name } << true;
}

void SingleInstanceTest::startUpTest()
{
    QFETCH(QString, title);
    QFETCH(LockResult, lockResult);
    QFETCH(bool, accepted);
    QFETCH(QStringList, calls);
    QFETCH(bool, terminated);

    FakeSingleInstance instance;
    instance.lockResult = lockResult;
    instance.handOverAccepted = accepted;
    FakeMessageBoxes boxes;
    TApplication application(title, boxes, [] {});
    {
        TPreviousInstance previousInstance(instance, application.Title());
        TJustOne32 guard(application, instance, previousInstance);
        QCOMPARE(previousInstance.PreviousInstanceExists(), lockResult == LockResult::Held);
        QCOMPARE(application.Terminated(), terminated);
    }
    // The record gives the lock back with the end of the process, and only a lock it holds.
    QCOMPARE(instance.calls, calls);
}

void SingleInstanceTest::laterCopyBringsTheDialogUp_data()
{
    QTest::addColumn<bool>("inTray");
    QTest::addColumn<bool>("iconified");

    QTest::newRow("from the tray") << true << false;
    QTest::newRow("iconified by the window manager") << false << true;
    QTest::newRow("up already") << false << false;
}

void SingleInstanceTest::laterCopyBringsTheDialogUp()
{
    QFETCH(bool, inTray);
    QFETCH(bool, iconified);

    FormWorld world;
    world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    FakeSingleInstance instance;
    TPreviousInstance previousInstance(instance, world.application.Title());
    TJustOne32 guard(world.application, instance, previousInstance);
    if (!inTray) {
        form.SetupClick();
        // An edit made before the hand-over must survive it: the snapshot is not taken again.
        form.ui->ServerAddrEdit->setText("edited");
    }
    if (iconified)
        form.setWindowState(Qt::WindowMinimized);

    instance.LaterCopyStarts();

    QVERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());
    QVERIFY(form.State.Busy);
    QCOMPARE(world.TrayTip(), world.application.Title());
    QCOMPARE(form.Snapshot.SavedServerAddress, QStringLiteral("time.example.test"));
    QCOMPARE(form.ui->ServerAddrEdit->text(), inTray ? QStringLiteral("time.example.test") : QStringLiteral("edited"));
    QVERIFY(!world.application.Terminated());
}

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
