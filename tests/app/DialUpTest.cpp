#include "tests/app/FormWorld.h"

#include <QApplication>
#include <QTest>

#include <stdexcept>

using winsock::FdConnect;
using winsock::FdRead;

Q_DECLARE_METATYPE(QList<DialUpConnection>)
Q_DECLARE_METATYPE(QList<WindowHandle>)

// The dial-up watcher's ticks, the program launcher and closer, and the editing of the launcher
// list, on the setup form among fakes: dial-up links, programs and their windows are laid out by
// each test, and the watcher is driven by its own timer event.
class DialUpTest final : public QObject
{
    Q_OBJECT

private slots:
    void watcherTick_data();
    void watcherTick();
    void startUpRunsOneTickAtOnce_data();
    void startUpRunsOneTickAtOnce();
    void aConnectionFromDialToHangUp();
    void aTickThatRaisesLeavesTheWatcherRunning();
    void launcherRecordsTheMainWindows_data();
    void launcherRecordsTheMainWindows();
    void closerAsksTheLastLaunchedFirst();
    void editingTheList_data();
    void editingTheList();
};

namespace {

const QString Program = QStringLiteral("/opt/tools/prog");
constexpr ProcessId ProgramProcess = 501;
constexpr WindowHandle ProgramWindow = 0x500001;

DialUpConnection Link(const QString& name, bool connected, bool projected, const QString& address)
{
    return { name, connected, projected, address };
}

// A timeserver and one program stored, the program in the tray; the program starts as process
// 501 with one main window.
struct WatcherWorld : FormWorld
{
    explicit WatcherWorld(const QByteArray& detectMode = "0")
    {
        Store("Server", "Address", "127.0.0.1");
        Store("Server", "DetectMode", detectMode);
        Store("AppLauncher", "App0", Program.toUtf8());
        processes.programs.insert(Program, ProgramProcess);
        windows.windows.insert(ProgramProcess, { { ProgramWindow, true } });
    }

    // One period of the watcher's event, which delivers exactly one tick.
    void NextTick() { timers.Elapse(5000); }

    bool QueryStarted() const { return form->RxTimerEvent3.Enabled(); }
};

QStringList Texts(std::initializer_list<WindowHandle> handles)
{
    QStringList texts;
    for (const WindowHandle handle : handles)
        texts.append(QString::number(handle));
    return texts;
}

QStringList ListLines(const TSetupForm& form)
{
    QStringList lines;
    for (int i = 0; i < form.ui->AppLaunchTextListBox->count(); ++i)
        lines.append(form.ui->AppLaunchTextListBox->item(i)->text());
    return lines;
}

} // namespace

void DialUpTest::watcherTick_data()
{
    QTest::addColumn<QByteArray>("detectMode");
    QTest::addColumn<QList<DialUpConnection>>("links");
    QTest::addColumn<bool>("listUnreadable");
    QTest::addColumn<bool>("timeObtained");
    QTest::addColumn<bool>("appsLaunched");
    QTest::addColumn<QString>("lastAddress");
    // Expected after one tick.
    QTest::addColumn<bool>("queried");
    QTest::addColumn<bool>("launched");
    QTest::addColumn<QList<WindowHandle>>("closed");
    QTest::addColumn<bool>("timeObtainedAfter");
    QTest::addColumn<bool>("appsLaunchedAfter");
    QTest::addColumn<QString>("lastAddressAfter");

    const QList<DialUpConnection> up { Link("ppp0", true, true, "10.64.0.1") };
    const QList<DialUpConnection> none;
    const QList<WindowHandle> nothing;
    const QList<WindowHandle> recorded { 22, 11 }; // the handle list holds 11, then 22

    QTest::newRow("new address: a query") << QByteArray("0") << up << false << false << true << "10.0.0.7" << true
                                          << false << nothing << false << false << "10.64.0.1";
    QTest::newRow("same address: nothing") << QByteArray("0") << up << false << true << true << "10.64.0.1" << false
                                           << false << nothing << true << true << "10.64.0.1";
    QTest::newRow("no connection: closer, flags cleared")
        << QByteArray("0") << none << false << true << true << "10.64.0.1" << false << false << recorded << false
        << false << "10.64.0.1";
    QTest::newRow("list unreadable: as no connection") << QByteArray("0") << up << true << true << true << "10.64.0.1"
                                                       << false << false << recorded << false << false << "10.64.0.1";
    QTest::newRow("query succeeded: the launcher") << QByteArray("0") << up << false << true << false << "10.64.0.1"
                                                   << false << true << nothing << true << true << "10.64.0.1";
    QTest::newRow("query succeeded, link gone meanwhile: still the launcher first")
        << QByteArray("0") << none << false << true << false << "10.64.0.1" << false << true << nothing << true << true
        << "10.64.0.1";
    QTest::newRow("manual mode, no connection: nothing")
        << QByteArray("1") << none << false << true << true << "10.64.0.1" << false << false << nothing << true << true
        << "10.64.0.1";
    QTest::newRow("manual mode, new address: nothing")
        << QByteArray("1") << up << false << false << false << "" << false << false << nothing << false << false << "";
    QTest::newRow("manual mode, query succeeded: the launcher")
        << QByteArray("1") << none << false << true << false << "" << false << true << nothing << true << true << "";
    QTest::newRow("first link still dialling: the second one's address")
        << QByteArray("0")
        << QList<DialUpConnection> { Link("ppp0", false, true, "10.0.0.9"), Link("ppp1", true, true, "10.64.0.2") }
        << false << false << false << "" << true << false << nothing << false << false << "10.64.0.2";
    QTest::newRow("connected without IPv4 settings: as no connection")
        << QByteArray("0") << QList<DialUpConnection> { Link("ppp0", true, false, "") } << false << true << true
        << "10.64.0.1" << false << false << recorded << false << false << "10.64.0.1";
    QTest::newRow("connected with an empty address: nothing")
        << QByteArray("0") << QList<DialUpConnection> { Link("ppp0", true, true, "") } << false << true << true
        << "10.64.0.1" << false << false << nothing << true << true << "10.64.0.1";
}

void DialUpTest::watcherTick()
{
    QFETCH(QByteArray, detectMode);
    QFETCH(QList<DialUpConnection>, links);
    QFETCH(bool, listUnreadable);
    QFETCH(bool, timeObtained);
    QFETCH(bool, appsLaunched);
    QFETCH(QString, lastAddress);
    QFETCH(bool, queried);
    QFETCH(bool, launched);
    QFETCH(QList<WindowHandle>, closed);
    QFETCH(bool, timeObtainedAfter);
    QFETCH(bool, appsLaunchedAfter);
    QFETCH(QString, lastAddressAfter);

    WatcherWorld world(detectMode);
    TSetupForm& form = world.Start();
    form.State.TimeObtained = timeObtained;
    form.State.AppsLaunched = appsLaunched;
    form.State.LastTimeAddress = lastAddress;
    form.StrHolder1 = Texts({ 11, 22 });
    form.LaunchedProcesses = { 502, 502 };
    world.windows.windows.insert(502, { { 11, true }, { 22, true } });
    world.dialup.connections = links;
    world.dialup.failEnumeration = listUnreadable;
    bool watcherOffWhileLaunching = false;
    world.windows.onWait = [&](ProcessId) { watcherOffWhileLaunching = !form.RxTimerEvent2.Enabled(); };

    world.NextTick();

    QCOMPARE(world.QueryStarted(), queried);
    QCOMPARE(world.processes.starts, launched ? QStringList { Program } : QStringList {});
    if (launched) {
        QVERIFY(watcherOffWhileLaunching);
        QCOMPARE(form.StrHolder1, Texts({ ProgramWindow }));
    }
    QCOMPARE(world.windows.closeRequests, closed);
    if (!closed.isEmpty())
        QVERIFY(form.StrHolder1.isEmpty());
    QCOMPARE(form.State.TimeObtained, timeObtainedAfter);
    QCOMPARE(form.State.AppsLaunched, appsLaunchedAfter);
    QCOMPARE(form.State.LastTimeAddress, lastAddressAfter);
    QVERIFY(form.RxTimerEvent2.Enabled());
    QVERIFY(world.boxes.errors.isEmpty());
}

void DialUpTest::startUpRunsOneTickAtOnce_data()
{
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<int>("enumerations");
    QTest::addColumn<bool>("queried");

    QTest::newRow("server stored, link up: a query at once") << QByteArray("127.0.0.1") << true << 1 << true;
    QTest::newRow("server stored, no link: one look") << QByteArray("127.0.0.1") << false << 1 << false;
    QTest::newRow("no server: the dialog, no look") << QByteArray() << true << 0 << false;
}

void DialUpTest::startUpRunsOneTickAtOnce()
{
    QFETCH(QByteArray, server);
    QFETCH(bool, linkUp);
    QFETCH(int, enumerations);
    QFETCH(bool, queried);

    FormWorld world;
    if (!server.isEmpty())
        world.Store("Server", "Address", server);
    if (linkUp)
        world.dialup.Connect("10.64.0.1");
    TSetupForm& form = world.Start();

    QCOMPARE(world.dialup.enumerations, enumerations);
    QCOMPARE(form.RxTimerEvent3.Enabled(), queried);
    QVERIFY(form.RxTimerEvent2.Enabled());
}

void DialUpTest::aConnectionFromDialToHangUp()
{
    WatcherWorld world;
    TSetupForm& form = world.Start();
    QVERIFY(!world.QueryStarted());

    // Dialled: the link has this computer's address, as the time client will see it.
    world.dialup.Connect("192.0.2.9");
    const winsock::Socket socket = world.sockets.NextHandle();
    world.NextTick();
    QVERIFY(world.QueryStarted());
    world.sockets.Deliver(socket, FdConnect);
    world.sockets.recvSteps.push_back({ QByteArray("\x9C\xBC\x44\x80"), 0, 0 });
    world.sockets.Deliver(socket, FdRead);
    QVERIFY(form.State.TimeObtained);
    QVERIFY(world.processes.starts.isEmpty());

    world.NextTick();
    QCOMPARE(world.processes.starts, QStringList { Program });
    QCOMPARE(world.windows.waits.size(), 1);

    // The same link at later ticks: no second query, no second start.
    world.NextTick();
    world.NextTick();
    QCOMPARE(world.processes.starts.size(), 1);
    QCOMPARE(world.sockets.Calls().filter(QStringLiteral("connect ")).size(), 1);

    world.dialup.HangUp();
    world.NextTick();
    QCOMPARE(world.windows.closeRequests, QList<WindowHandle> { ProgramWindow });
    QVERIFY(!form.State.TimeObtained);
    QVERIFY(!form.State.AppsLaunched);

    // Redialled with the same address: the connection is known, nothing happens.
    world.dialup.Connect("192.0.2.9");
    world.NextTick();
    world.NextTick();
    QCOMPARE(world.sockets.Calls().filter(QStringLiteral("connect ")).size(), 1);
    QCOMPARE(world.processes.starts.size(), 1);
    QVERIFY(world.boxes.warnings.isEmpty());
}

void DialUpTest::aTickThatRaisesLeavesTheWatcherRunning()
{
    WatcherWorld world;
    TSetupForm& form = world.Start();
    form.State.TimeObtained = true;
    world.windows.onWait = [](ProcessId) { throw std::runtime_error("no more windows"); };

    world.NextTick();
    QCOMPARE(world.boxes.errors.size(), 1);
    QVERIFY(form.RxTimerEvent2.Enabled());

    world.NextTick();
    QCOMPARE(world.windows.waits.size(), 2);
}

void DialUpTest::launcherRecordsTheMainWindows_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("launchedAlready");
    QTest::addColumn<QStringList>("starts");
    QTest::addColumn<QStringList>("handles");

    const QString splash = QStringLiteral("/opt/splash/prog");
    const QString tools = QStringLiteral("/opt/tools with blanks/tools");
    const QString daemon = QStringLiteral("/usr/sbin/daemon");
    const QString missing = QStringLiteral("/nowhere/prog");
    const QString shortcut = QStringLiteral("/home/user/Prog.DESKTOP");
    const QString broken = QStringLiteral("/home/user/broken.desktop");

    QTest::newRow("empty list: stale handles forgotten") << QStringList {} << false << QStringList {} << QStringList {};
    QTest::newRow("launched already: nothing")
        << QStringList { Program } << true << QStringList {} << QStringList { "77" };
    QTest::newRow("splash first: the first window with a minimise box")
        << QStringList { splash } << false << QStringList { splash } << Texts({ 0x600002 });
    QTest::newRow("no minimise box: the last window")
        << QStringList { tools } << false << QStringList { tools } << Texts({ 0x700002 });
    QTest::newRow("no window: nothing recorded")
        << QStringList { daemon, Program } << false << QStringList { daemon, Program } << Texts({ ProgramWindow });
    QTest::newRow("a program that does not start is skipped")
        << QStringList { missing, Program } << false << QStringList { missing, Program } << Texts({ ProgramWindow });
    QTest::newRow("shortcut: its program, arguments and folder")
        << QStringList { shortcut } << false << QStringList { Program + " -a -b in /srv/data" }
        << Texts({ ProgramWindow });
    QTest::newRow("unreadable shortcut: nothing started")
        << QStringList { broken, Program } << false << QStringList { Program } << Texts({ ProgramWindow });
    QTest::newRow("the same program twice")
        << QStringList { Program, Program } << false << QStringList { Program, Program }
        << Texts({ ProgramWindow, ProgramWindow });
}

void DialUpTest::launcherRecordsTheMainWindows()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, launchedAlready);
    QFETCH(QStringList, starts);
    QFETCH(QStringList, handles);

    FormWorld world;
    world.processes.programs = { { Program, ProgramProcess },
                                 { "/opt/splash/prog", 601 },
                                 { "/opt/tools with blanks/tools", 701 },
                                 { "/usr/sbin/daemon", 801 } };
    world.windows.windows = { { ProgramProcess, { { ProgramWindow, true } } },
                              { 601, { { 0x600001, false }, { 0x600002, true }, { 0x600003, true } } },
                              { 701, { { 0x700001, false }, { 0x700002, false } } } };
    world.shortcuts.entries.insert("/home/user/Prog.DESKTOP", { Program, { "-a", "-b" }, "/srv/data" });
    TSetupForm& form = world.Start();
    form.ui->AppLaunchTextListBox->addItems(lines);
    form.StrHolder1 = QStringList { "77" };
    form.State.AppsLaunched = launchedAlready;

    form.ApplicationLauncher();

    QCOMPARE(world.processes.starts, starts);
    QCOMPARE(form.StrHolder1, handles);
    QVERIFY(form.State.AppsLaunched);
}

void DialUpTest::closerAsksTheLastLaunchedFirst()
{
    FormWorld world;
    world.processes.programs = { { "/opt/a", 1 }, { "/opt/b", 2 }, { "/opt/c", 3 } };
    world.windows.windows = { { 1, { { 0xA, true } } }, { 2, { { 0xB, true } } }, { 3, { { 0xC, true } } } };
    TSetupForm& form = world.Start();
    form.ui->AppLaunchTextListBox->addItems({ "/opt/a", "/opt/b", "/opt/c" });
    form.ApplicationLauncher();
    QCOMPARE(form.StrHolder1, Texts({ 0xA, 0xB, 0xC }));
    // B's program has ended, and one the user started later got its window's id: B is skipped,
    // the others still go out.
    world.windows.windows.insert(9, world.windows.windows.take(2));

    form.ApplicationCloser();

    QCOMPARE(world.windows.closeRequests, (QList<WindowHandle> { 0xC, 0xA }));
    QVERIFY(form.StrHolder1.isEmpty());
    form.ApplicationCloser();
    QCOMPARE(world.windows.closeRequests.size(), 2);
}

void DialUpTest::editingTheList_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("press");
    QTest::addColumn<QString>("chosen"); // the dialog's answer; empty: Cancel
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("selectedAfter");
    QTest::addColumn<bool>("removable");
    QTest::addColumn<bool>("modified");

    const QStringList three { "/opt/a", "/opt/b", "/opt/c" };
    QTest::newRow("include at the end, selected")
        << QStringList { "/opt/a" } << 0 << "include"
        << "/opt/x.desktop" << QStringList { "/opt/a", "/opt/x.desktop" } << 1 << true << true;
    QTest::newRow("include into an empty list") << QStringList {} << -1 << "include"
                                                << "/opt/x" << QStringList { "/opt/x" } << 0 << true << true;
    QTest::newRow("include the same file again") << QStringList { "/opt/x" } << 0 << "include"
                                                 << "/opt/x" << QStringList { "/opt/x", "/opt/x" } << 1 << true << true;
    QTest::newRow("include cancelled: nothing changes") << QStringList {} << -1 << "include"
                                                        << "" << QStringList {} << -1 << false << false;
    QTest::newRow("remove the last of three: the second selected")
        << three << 2 << "remove"
        << "" << QStringList { "/opt/a", "/opt/b" } << 1 << true << true;
    QTest::newRow("remove the middle: the former third selected")
        << three << 1 << "remove"
        << "" << QStringList { "/opt/a", "/opt/c" } << 1 << true << true;
    QTest::newRow("remove the only line: removing disabled") << QStringList { "/opt/a" } << 0 << "remove"
                                                             << "" << QStringList {} << -1 << false << true;
    QTest::newRow("remove without a selection: nothing") << three << -1 << "remove"
                                                         << "" << three << -1 << true << false;
    QTest::newRow("remove all") << three << 1 << "remove all"
                                << "" << QStringList {} << -1 << false << true;
}

void DialUpTest::editingTheList()
{
    QFETCH(QStringList, stored);
    QFETCH(int, selected);
    QFETCH(QString, press);
    QFETCH(QString, chosen);
    QFETCH(QStringList, lines);
    QFETCH(int, selectedAfter);
    QFETCH(bool, removable);
    QFETCH(bool, modified);

    FormWorld world;
    world.Store("Server", "Address", "127.0.0.1");
    for (int i = 0; i < stored.size(); ++i)
        world.Store("AppLauncher", QStringLiteral("App%1").arg(i), stored.at(i).toUtf8());
    TSetupForm& form = world.Start();
    form.SetupClick();
    form.ui->PageControl1->setCurrentWidget(form.ui->TabSheet2);
    form.ui->IncludeButton->setFocus();
    form.ui->AppLaunchTextListBox->setCurrentRow(selected);
    form.OpenDialog1.FileName = QStringLiteral("left over");
    world.fileDialogs.answers = { chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen) };

    if (press == QLatin1String("include"))
        form.ui->IncludeButton->click();
    else if (press == QLatin1String("remove"))
        form.ui->RemoveButton->click();
    else
        form.ui->RemoveAllButton->click();

    QCOMPARE(ListLines(form), lines);
    QCOMPARE(form.ui->AppLaunchTextListBox->currentRow(), selectedAfter);
    QCOMPARE(form.ui->RemoveButton->isEnabled(), removable);
    QCOMPARE(form.ui->RemoveAllButton->isEnabled(), removable);
    QCOMPARE(form.State.AppListModified, modified);
    if (modified)
        QCOMPARE(form.focusWidget(), form.ui->AppLaunchTextListBox);
    if (press == QLatin1String("include")) {
        QCOMPARE(world.fileDialogs.shown.size(), 1);
        const TOpenDialog& shown = world.fileDialogs.shown.first();
        QCOMPARE(shown.Title, QStringLiteral("Kronvik - Select file to launch"));
        QCOMPARE(shown.Filter.section(QLatin1Char('|'), 0, 0), QStringLiteral("Executable Files"));
        QCOMPARE(shown.InitialDir, QStringLiteral("/"));
        QVERIFY(shown.FileName.isEmpty());
        // Once a file was chosen, the dialog opens where the user found it.
        QCOMPARE(form.OpenDialog1.InitialDir, chosen.isEmpty() ? QStringLiteral("/") : QString());
    }
}

QTEST_MAIN(DialUpTest)
#include "DialUpTest.moc"
