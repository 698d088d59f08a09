#include "components/About.h"
#include "tests/app/FormWorld.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

// "name=text" of every write to the section, in order.
QStringList WritesTo(const FakeRegistry& store, const QString& key)
{
    QStringList writes;
    for (const FakeRegistry::Write& write : store.Writes()) {
        if (write.key.compare(key, Qt::CaseInsensitive) == 0)
            writes << write.name + QLatin1Char('=') + QString::fromUtf8(write.data);
    }
    return writes;
}

// Centred on the screen, give or take the window frame.
bool IsCentred(int position, int size, int screenCentre)
{
    return qAbs(position + size / 2 - screenCentre) <= 4;
}

} // namespace

// A form of the program's own, with named and unnamed child controls; without a frame, so that
// its place and size are the same with and without one.
class TTestForm final : public QWidget
{
    Q_OBJECT

public:
    TTestForm()
    {
        setObjectName("TestForm");
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto* panel = new QWidget(this);
        panel->setObjectName("Panel");
        panel->setGeometry(5, 6, 100, 50);
        auto* inner = new QWidget(panel);
        inner->setObjectName("Inner");
        inner->setGeometry(1, 2, 30, 20);
        auto* refused = new QWidget(this);
        refused->setObjectName("Refused");
        refused->setGeometry(7, 8, 10, 10);
        auto* unnamed = new QWidget(this);
        auto* insideUnnamed = new QWidget(unnamed);
        insideUnnamed->setObjectName("InsideUnnamed");
        insideUnnamed->setGeometry(3, 4, 10, 10);
        setGeometry(20, 30, 200, 100);
    }
};

// Where the setup dialog opens and what the form saver writes: the stored place on the first
// showing of a run, the place written at Exit and on closing, and the saver's switches.
class FormPlacementTest final : public QObject
{
    Q_OBJECT

private slots:
    void firstShowingTakesTheStoredPlace_data();
    void firstShowingTakesTheStoredPlace();
    void placeIsWrittenAtExitAndClose_data();
    void placeIsWrittenAtExitAndClose();
    void aboutBoxOpenAtExitIsWrittenToo();
    void moveIsKeptWithinTheRun();
    void saverWrites_data();
    void saverWrites();
    void saverRestores();
    void storedStateIsApplied_data();
    void storedStateIsApplied();
};

void FormPlacementTest::firstShowingTakesTheStoredPlace_data()
{
    QTest::addColumn<QByteArray>("top"); // empty: not stored
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QPoint>("expected"); // a coordinate of -1: centred

    QTest::newRow("nothing stored: centred") << QByteArray() << QByteArray() << QPoint(-1, -1);
    QTest::newRow("stored place") << QByteArray("100") << QByteArray("40") << QPoint(40, 100);
    QTest::newRow("not integers count as missing") << QByteArray("abc") << QByteArray("12px") << QPoint(-1, -1);
    QTest::newRow("only the top stored") << QByteArray("100") << QByteArray() << QPoint(-1, 100);
    QTest::newRow("on a monitor since removed: centred") << QByteArray("5000") << QByteArray("5000") << QPoint(-1, -1);
    QTest::newRow("title bar above the screen: centred") << QByteArray("-40") << QByteArray("40") << QPoint(-1, -1);
}

void FormPlacementTest::firstShowingTakesTheStoredPlace()
{
    QFETCH(QByteArray, top);
    QFETCH(QByteArray, left);
    QFETCH(QPoint, expected);

    FormWorld world;
    if (!top.isEmpty())
        world.Store("Position", "TSetupForm_Top", top);
    if (!left.isEmpty())
        world.Store("Position", "TSetupForm_Left", left);
    TSetupForm& form = world.Start(); // no timeserver: the dialog opens

    QVERIFY(form.isVisible());
    const QRect frame = form.frameGeometry();
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    if (expected.x() < 0)
        QVERIFY2(IsCentred(frame.x(), frame.width(), centre.x()), qPrintable(QString::number(frame.x())));
    else
        QCOMPARE(frame.x(), expected.x());
    if (expected.y() < 0)
        QVERIFY2(IsCentred(frame.y(), frame.height(), centre.y()), qPrintable(QString::number(frame.y())));
    else
        QCOMPARE(frame.y(), expected.y());
    QVERIFY(world.boxes.errors.isEmpty());
}

void FormPlacementTest::placeIsWrittenAtExitAndClose_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<QStringList>("writes");

    const QStringList place { "TSetupForm_Top=45", "TSetupForm_Left=123" };
    QTest::newRow("exit") << true << false << place;
    QTest::newRow("close box: at exit and on closing") << true << true << place + place;
    QTest::newRow("never shown in this run: the stored place stays") << false << false << QStringList();
}

void FormPlacementTest::placeIsWrittenAtExitAndClose()
{
    QFETCH(bool, shown);
    QFETCH(bool, closeBox);
    QFETCH(QStringList, writes);

    FormWorld world;
    world.Store("Position", "TSetupForm_Top", "77");
    world.Store("Position", "TSetupForm_Left", "66");
    if (!shown)
        world.Store("Server", "Address", "time.example.test");
    TSetupForm& form = world.Start();
    form.move(123, 45);

    if (closeBox)
        form.close();
    else
        form.Exit1->trigger();

    QCOMPARE(WritesTo(world.store, "Kronvik\\Position"), writes);
    QVERIFY(world.application.Terminated());
}

void FormPlacementTest::aboutBoxOpenAtExitIsWrittenToo()
{
    FormWorld world;
    TSetupForm& form = world.Start();
    form.move(10, 20);
    QPoint aboutPlace;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        QVERIFY(about);
        aboutPlace = about->pos();
        form.ExitButtonClick();
        about->close();
    });
    form.About1->trigger();

    QCOMPARE(WritesTo(world.store, "Kronvik\\Position"),
             (QStringList { "TSetupForm_Top=20", "TSetupForm_Left=10",
                            QStringLiteral("TAboutBox_Top=%1").arg(aboutPlace.y()),
                            QStringLiteral("TAboutBox_Left=%1").arg(aboutPlace.x()) }));
}

void FormPlacementTest::moveIsKeptWithinTheRun()
{
    FormWorld world;
    world.Store("Position", "TSetupForm_Top", "100");
    world.Store("Position", "TSetupForm_Left", "40");
    TSetupForm& form = world.Start();
    QCOMPARE(form.pos(), QPoint(40, 100));
    form.ui->ServerAddrEdit->setText("time.example.test");
    form.move(300, 200); // where the user drags it

    form.ui->OkButton->click();
    QVERIFY(!form.isVisible());
    form.SetupClick();

    QVERIFY(form.isVisible());
    QCOMPARE(form.pos(), QPoint(300, 200));
}

void FormPlacementTest::saverWrites_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("section");
    QTest::addColumn<bool>("sizeStateVisible");
    QTest::addColumn<bool>("desktop");
    QTest::addColumn<bool>("maximise");
    QTest::addColumn<QStringList>("writes"); // in "TestForm\<section>"

    const QStringList all { "TTestForm_WindowState=2", "TTestForm_Width=200", "TTestForm_Height=100",
                            "TTestForm_Top=30",        "TTestForm_Left=20",   "TTestForm_Visible=1" };
    QTest::newRow("every default") << true << "Position" << true << false << false << all;
    QTest::newRow("not enabled") << false << "Position" << true << false << false << QStringList();
    QTest::newRow("no section: OtherInfo")
        << true << "" << false << false << false << QStringList { "TTestForm_Top=30", "TTestForm_Left=20" };
    QStringList maximised = all;
    maximised[0] = "TTestForm_WindowState=3";
    QTest::newRow("maximised: the bounds from before") << true << "Position" << true << false << true << maximised;
    QTest::newRow("desktop: named controls that are not refused")
        << true << "Position" << false << true << false
        << QStringList { "TTestForm_Top=30", "TTestForm_Left=20", "Panel_Top=6",         "Panel_Left=5",
                         "Inner_Top=2",      "Inner_Left=1",      "InsideUnnamed_Top=4", "InsideUnnamed_Left=3" };
}

void FormPlacementTest::saverWrites()
{
    QFETCH(bool, enabled);
    QFETCH(QString, section);
    QFETCH(bool, sizeStateVisible);
    QFETCH(bool, desktop);
    QFETCH(bool, maximise);
    QFETCH(QStringList, writes);

    FakeRegistry store;
    TTestForm form;
    TRegFormSaver saver(store, &form);
    saver.SetIsEnabled(enabled);
    saver.SetIniSection(section);
    saver.SaveSize = saver.SaveState = saver.SaveVisible = sizeStateVisible;
    saver.SaveDesktop = desktop;
    saver.OnSaveControl = [](QWidget* control, bool& save) { save = control->objectName() != "Refused"; };
    QWidget* saved = nullptr;
    saver.OnSave = [&](QWidget* owner) { saved = owner; };
    form.show();
    form.move(20, 30);
    if (maximise)
        form.setWindowState(Qt::WindowMaximized);

    saver.SavePlacement();

    QCOMPARE(WritesTo(store, "TestForm\\" + (section.isEmpty() ? QStringLiteral("OtherInfo") : section)), writes);
    QCOMPARE(saved, enabled ? &form : nullptr);
}

void FormPlacementTest::saverRestores()
{
    FakeRegistry store;
    const auto stored = [&](const char* name, const char* text) {
        store.SetValue("TestForm\\Position", name, Registry::RegSz, text);
    };
    stored("TTestForm_Width", "300");
    stored("TTestForm_Height", "150");
    stored("TTestForm_Top", "40");
    stored("TTestForm_Left", "50");
    stored("Inner_Left", "11");
    stored("Inner_Top", "12");
    stored("InsideUnnamed_Width", "25");
    TTestForm form;
    TRegFormSaver saver(store, &form);
    saver.SetIsEnabled(true);
    saver.SaveDesktop = true;
    QRect restored;
    saver.OnRestore = [&](QWidget* owner) { restored = owner->geometry(); };

    saver.RestorePlacement();
    form.show();

    QCOMPARE(restored, QRect(50, 40, 300, 150));
    QCOMPARE(form.geometry(), QRect(50, 40, 300, 150));
    QCOMPARE(form.findChild<QWidget*>("Inner")->pos(), QPoint(11, 12));
    QCOMPARE(form.findChild<QWidget*>("InsideUnnamed")->width(), 25);
}

void FormPlacementTest::storedStateIsApplied_data()
{
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<Qt::WindowState>("expected");

    QTest::newRow("maximised") << QByteArray("3") << Qt::WindowMaximized;
    QTest::newRow("normal") << QByteArray("2") << Qt::WindowNoState;
    QTest::newRow("unknown: as it was") << QByteArray("7") << Qt::WindowNoState;
}

void FormPlacementTest::storedStateIsApplied()
{
    QFETCH(QByteArray, state);
    QFETCH(Qt::WindowState, expected);

    FakeRegistry store;
    store.SetValue("TestForm\\Position", "TTestForm_WindowState", Registry::RegSz, state);
    TTestForm form;
    TRegFormSaver saver(store, &form);
    saver.SetIsEnabled(true);
    saver.RestorePlacement();
    form.show();
    QCOMPARE(form.windowState(), Qt::WindowStates(expected));
}

QTEST_MAIN(FormPlacementTest)
#include "FormPlacementTest.moc"
