#include "app/Application.h"
#include "dialup/ProgramLauncher.h"
#include "platform/linux/desktop/DesktopEntryResolver.h"
#include "platform/linux/desktop/DetachedProcessStarter.h"
#include "platform/linux/desktop/X11DesktopWindows.h"
#include "platform/linux/timers/MonotonicTickSource.h"
#include "platform/linux/timers/QtMessageWait.h"
#include "tests/fakes/FakeMessageBoxes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>

// The launcher and closer with real programs on a real X display (run by launcher-x11.sh, with a
// window manager and without one): the program is our own little X client, whose file name tells
// it what kind of program to play and which writes down what happens to it.
class LauncherX11Test final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void recordsTheMainWindowAndClosesIt_data();
    void recordsTheMainWindowAndClosesIt();
    void judgesEachWindowOfAProgram();
    void threeProgramsAllClose();
    void badInputRecordsNothing_data();
    void badInputRecordsNothing();
    void programThatNeverOpensAWindowRunsOn();
    void windowGoneBeforeTheCloser();
    // Last: it ends the application for good.
    void exitEndsTheWait();

private:
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    ProgramLauncher Launcher(int readyTimeoutMs = ProgramLauncher::ReadyTimeoutMs)
    {
        return { m_processes,    m_windows,     m_shortcuts, m_ticks, m_wait, m_application, { m_handles, m_owners },
                 m_appsLaunched, readyTimeoutMs };
    }
    // The client under another name (what it plays), in a folder of the test's.
    void Install(const QString& relative);
    void Write(const QString& relative, const QByteArray& text);
    // The log's lines so far, "start", "main", ... each split at the first blanks.
    QList<QStringList> Log() const;
    // The value of the first log line of that kind for that process ("" when none yet).
    QString Logged(const QString& kind, const QString& process) const;
    // Waits up to 5 s for the line; true when it came.
    bool WaitForLogged(const QString& kind, const QString& process) const;
    QStringList StartedProcesses() const;
    bool Alive(const QString& process) const;
    bool WaitForExit(const QString& process) const;

    QTemporaryDir m_dir;
    QString m_log;
    DetachedProcessStarter m_processes;
    X11DesktopWindows m_windows;
    DesktopEntryResolver m_shortcuts;
    MonotonicTickSource m_ticks;
    QtMessageWait m_wait;
    FakeMessageBoxes m_boxes;
    TApplication m_application { QStringLiteral("launcher"), m_boxes, [] {} };
    QStringList m_handles;
    QList<ProcessId> m_owners;
    bool m_appsLaunched = false;
};

void LauncherX11Test::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X display");
    QVERIFY2(QFile::exists(qEnvironmentVariable("KRONVIK_XCLIENT")), "KRONVIK_XCLIENT names the test client");
    m_log = Path("events.log");
    qputenv("XCLIENT_LOG", m_log.toLocal8Bit());
    for (const char* name :
         { "tools/main", "tools/splash", "tools/late", "tools/palette", "tools/nopid", "tools/quitter",
           "tools/nowindow", "my programs/main", "my programs/main2", "my programs/main3" })
        Install(name);
    QVERIFY(QDir(m_dir.path()).mkpath("elsewhere"));
    Write("not-executable", "#!/bin/sh\n");
}

void LauncherX11Test::cleanup()
{
    // Whatever a failed test left running ends here, by process id.
    for (const QString& process : StartedProcesses()) {
        if (Alive(process))
            ::kill(process.toInt(), SIGKILL);
    }
    QFile::remove(m_log);
    m_handles.clear();
    m_appsLaunched = false;
}

void LauncherX11Test::Install(const QString& relative)
{
    QVERIFY(QDir(m_dir.path()).mkpath(QFileInfo(Path(relative)).path()));
    QVERIFY(QFile::copy(qEnvironmentVariable("KRONVIK_XCLIENT"), Path(relative)));
}

void LauncherX11Test::Write(const QString& relative, const QByteArray& text)
{
    QFile file(Path(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QList<QStringList> LauncherX11Test::Log() const
{
    QFile file(m_log);
    QList<QStringList> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QString& line : QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts))
        lines.append({ line.section(' ', 0, 0), line.section(' ', 1, 1), line.section(' ', 2) });
    return lines;
}

QString LauncherX11Test::Logged(const QString& kind, const QString& process) const
{
    for (const QStringList& line : Log()) {
        if (line.at(0) == kind && line.at(1) == process)
            return line.at(2).isEmpty() ? QStringLiteral("-") : line.at(2);
    }
    return {};
}

bool LauncherX11Test::WaitForLogged(const QString& kind, const QString& process) const
{
    QElapsedTimer waited;
    waited.start();
    while (Logged(kind, process).isEmpty() && waited.elapsed() < 5000)
        QThread::msleep(20);
    return !Logged(kind, process).isEmpty();
}

QStringList LauncherX11Test::StartedProcesses() const
{
    QStringList processes;
    for (const QStringList& line : Log()) {
        if (line.at(0) == QLatin1String("start"))
            processes.append(line.at(1));
    }
    return processes;
}

bool LauncherX11Test::Alive(const QString& process) const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    // Ended, but not yet reaped by the system: not running any more.
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

bool LauncherX11Test::WaitForExit(const QString& process) const
{
    QElapsedTimer waited;
    waited.start();
    while (Alive(process) && waited.elapsed() < 5000)
        QThread::msleep(20);
    return !Alive(process);
}

void LauncherX11Test::recordsTheMainWindowAndClosesIt_data()
{
    QTest::addColumn<QString>("line"); // relative to the test's folder
    QTest::addColumn<QString>("recorded"); // the kind of window recorded
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("arguments"); // as logged: "|" before each

    QTest::newRow("one main window") << "tools/main"
                                     << "main"
                                     << "tools"
                                     << "";
    QTest::newRow("splash first, main window later: the splash") << "tools/late"
                                                                 << "splash"
                                                                 << "tools"
                                                                 << "";
    QTest::newRow("no minimise box anywhere: that window") << "tools/palette"
                                                           << "main"
                                                           << "tools"
                                                           << "";
    QTest::newRow("no _NET_WM_PID: the server knows the process") << "tools/nopid"
                                                                  << "main"
                                                                  << "tools"
                                                                  << "";
    QTest::newRow("a folder with a blank") << "my programs/main"
                                           << "main"
                                           << "my programs"
                                           << "";
    QTest::newRow("a folder with a blank, and arguments") << "my programs/main -x  y"
                                                          << "main"
                                                          << "my programs"
                                                          << "|-x|y";
    QTest::newRow("a desktop entry with arguments and a folder") << "Main.desktop"
                                                                 << "main"
                                                                 << "elsewhere"
                                                                 << "|--entry|two words";
}

void LauncherX11Test::recordsTheMainWindowAndClosesIt()
{
    QFETCH(QString, line);
    QFETCH(QString, recorded);
    QFETCH(QString, folder);
    QFETCH(QString, arguments);
    Write("Main.desktop",
          "[Desktop Entry]\nType=Application\nName=Main\nExec=\"" + Path("my programs/main").toUtf8()
              + "\" --entry \"two words\" %U\nPath=" + Path("elsewhere").toUtf8() + "\n");

    ProgramLauncher launcher = Launcher();
    launcher.ApplicationLauncher({ Path(line) });

    QVERIFY(m_appsLaunched);
    const QStringList started = StartedProcesses();
    QCOMPARE(started.size(), 1);
    const QString process = started.first();
    const QString start = Logged("start", process);
    QCOMPARE(QDir(start.section('|', 0, 0)), QDir(Path(folder)));
    QCOMPARE(start.mid(start.indexOf('|') < 0 ? start.size() : start.indexOf('|')), arguments);
    QCOMPARE(m_handles, QStringList { Logged(recorded, process) });

    launcher.ApplicationCloser();
    QVERIFY(m_handles.isEmpty());
    QVERIFY2(WaitForLogged("close", process), "the program was not asked to close");
    QCOMPARE(Logged("close", process), Logged(recorded, process));
    QVERIFY(WaitForExit(process));
}

void LauncherX11Test::judgesEachWindowOfAProgram()
{
    const ProcessId process = m_processes.StartCommandLine(Path("tools/splash"));
    QVERIFY(process != 0);
    const QString id = QString::number(process);
    QVERIFY(WaitForLogged("main", id));
    QElapsedTimer waited;
    waited.start();
    QList<WindowHandle> windows;
    while ((windows = m_windows.ProcessWindows(process)).size() < 2 && waited.elapsed() < 5000)
        QThread::msleep(20);
    const WindowHandle splash = Logged("splash", id).toLongLong();
    const WindowHandle main = Logged("main", id).toLongLong();

    QCOMPARE(QSet<WindowHandle>(windows.begin(), windows.end()), (QSet<WindowHandle> { splash, main }));
    QVERIFY(m_windows.HasMinimizeBox(main));
    QVERIFY(!m_windows.HasMinimizeBox(splash));
    QVERIFY(m_windows.PostCloseRequest(main));
    QVERIFY(WaitForExit(id));
}

void LauncherX11Test::threeProgramsAllClose()
{
    ProgramLauncher launcher = Launcher();
    launcher.ApplicationLauncher({ Path("my programs/main"), Path("my programs/main2"), Path("my programs/main3") });

    const QStringList started = StartedProcesses();
    QCOMPARE(started.size(), 3);
    QStringList windows;
    for (const QString& process : started)
        windows.append(Logged("main", process));
    QCOMPARE(m_handles, windows);

    launcher.ApplicationCloser();
    for (const QString& process : started)
        QVERIFY(WaitForExit(process));
}

void LauncherX11Test::badInputRecordsNothing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("entry"); // written to the line's file first, when not empty
    QTest::addColumn<bool>("starts");

    QTest::newRow("no such file") << "tools/missing" << QByteArray() << false;
    QTest::newRow("a folder") << "elsewhere" << QByteArray() << false;
    QTest::newRow("not executable") << "not-executable" << QByteArray() << false;
    QTest::newRow("malformed entry") << "bad.desktop" << QByteArray("Exec=\"unclosed\n") << false;
    QTest::newRow("entry without Exec") << "noexec.desktop" << QByteArray("[Desktop Entry]\nType=Application\n")
                                        << false;
    QTest::newRow("entry naming a missing program")
        << "missing.desktop" << QByteArray("[Desktop Entry]\nType=Application\nExec=/nowhere/prog\n") << false;
    QTest::newRow("a program that ends at once") << "tools/quitter" << QByteArray() << true;
}

void LauncherX11Test::badInputRecordsNothing()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, entry);
    QFETCH(bool, starts);
    if (!entry.isEmpty())
        Write(line, entry);

    ProgramLauncher launcher = Launcher();
    QElapsedTimer took;
    took.start();
    launcher.ApplicationLauncher({ Path(line) });

    // A program that ended is not waited for until the bound.
    QVERIFY(took.elapsed() < ProgramLauncher::ReadyTimeoutMs / 2);
    QVERIFY(m_handles.isEmpty());
    QVERIFY(m_appsLaunched);
    QCOMPARE(StartedProcesses().size(), starts ? 1 : 0);
}

void LauncherX11Test::programThatNeverOpensAWindowRunsOn()
{
    ProgramLauncher launcher = Launcher(1500);
    QElapsedTimer took;
    took.start();
    launcher.ApplicationLauncher({ Path("tools/nowindow"), Path("tools/main") });

    QVERIFY(took.elapsed() >= 1500);
    const QStringList started = StartedProcesses();
    QCOMPARE(started.size(), 2);
    QCOMPARE(m_handles, QStringList { Logged("main", started.at(1)) });
    launcher.ApplicationCloser();
    QVERIFY(WaitForExit(started.at(1)));
    QVERIFY(Alive(started.at(0)));
}

void LauncherX11Test::windowGoneBeforeTheCloser()
{
    ProgramLauncher launcher = Launcher();
    launcher.ApplicationLauncher({ Path("tools/main"), Path("my programs/main") });
    const QStringList started = StartedProcesses();
    QCOMPARE(m_handles.size(), 2);
    ::kill(started.at(0).toInt(), SIGKILL);
    QVERIFY(WaitForExit(started.at(0)));
    QVERIFY(!m_windows.PostCloseRequest(m_handles.at(0).toLongLong()));
    QVERIFY(!m_windows.HasMinimizeBox(m_handles.at(0).toLongLong()));

    launcher.ApplicationCloser();

    QVERIFY(m_handles.isEmpty());
    QVERIFY(WaitForExit(started.at(1)));
}

void LauncherX11Test::exitEndsTheWait()
{
    ProgramLauncher launcher = Launcher();
    // Exit, from a timer, while the launcher waits for a program without a window.
    QTimer::singleShot(300, [this] { m_application.Terminate(); });
    launcher.ApplicationLauncher({ Path("tools/nowindow"), Path("tools/main") });
    QCOMPARE(StartedProcesses().size(), 1);
}

QTEST_GUILESS_MAIN(LauncherX11Test)
#include "LauncherX11Test.moc"
