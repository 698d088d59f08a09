#include "platform/linux/desktop/DesktopEntryResolver.h"
#include "platform/linux/desktop/DetachedProcessStarter.h"
#include "platform/linux/desktop/XdgDesktopShell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// Real programs started detached: which file an unquoted line runs and with which arguments, the
// folder it runs in, and that it is neither our child nor holding anything of ours. Each program
// is a small script that writes down what it found and ends.
class ProcessStarterTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void separateArguments_data();
    void separateArguments();
    void startedProgramIsDetached();
    void desktopShellStartsEntriesAndPrograms();

private:
    // What a probe script wrote: its folder and arguments; empty when none ran within 5 s.
    struct Probe
    {
        bool ran = false;
        QString folder;
        QStringList arguments;
        ProcessId process = 0;
        ProcessId parent = 0;
        ProcessId session = 0;
        QString input;
        QStringList descriptors;
    };
    Probe WaitForProbe();
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    // The probe script at `relative`, or a plain file that may not be executed.
    void MakeProgram(const QString& relative, bool executable = true);

    QTemporaryDir m_dir;
    QString m_result;
};

void ProcessStarterTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_result = Path("probe.out");
    qputenv("PROBE_RESULT", m_result.toLocal8Bit());
    MakeProgram("prog");
    MakeProgram("my tools/prog");
    MakeProgram("a");
    MakeProgram("a b/prog");
    MakeProgram("notes", false);
    MakeProgram("notes x/prog");
    MakeProgram("bin/probe");
    QVERIFY(QDir(m_dir.path()).mkpath("empty folder"));
    qputenv("PATH", (Path("bin") + ":/usr/bin:/bin").toLocal8Bit());
}

void ProcessStarterTest::MakeProgram(const QString& relative, bool executable)
{
    QVERIFY(QDir(m_dir.path()).mkpath(QFileInfo(Path(relative)).path()));
    QFile file(Path(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n"
               "{ echo \"$PWD\"; cat /proc/$$/stat; readlink /proc/$$/fd/0; ls /proc/$$/fd | tr '\\n' ' '; echo;\n"
               "  for a in \"$@\"; do echo \"arg:$a\"; done; } >\"$PROBE_RESULT.tmp\"\n"
               "mv \"$PROBE_RESULT.tmp\" \"$PROBE_RESULT\"\n");
    file.close();
    file.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                   : QFile::ReadOwner | QFile::WriteOwner);
}

ProcessStarterTest::Probe ProcessStarterTest::WaitForProbe()
{
    Probe probe;
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(m_result) && waited.elapsed() < 5000)
        QThread::msleep(10);
    QFile file(m_result);
    if (!file.open(QIODevice::ReadOnly))
        return probe;
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split('\n');
    file.remove();
    if (lines.size() < 4)
        return probe;
    probe.ran = true;
    probe.folder = lines.at(0);
    // pid (comm) state ppid pgrp session ...
    const QStringList stat = lines.at(1).mid(lines.at(1).lastIndexOf(')') + 2).split(' ');
    probe.process = lines.at(1).section(' ', 0, 0).toLongLong();
    probe.parent = stat.value(1).toLongLong();
    probe.session = stat.value(3).toLongLong();
    probe.input = lines.at(2);
    probe.descriptors = lines.at(3).split(' ', Qt::SkipEmptyParts);
    for (const QString& line : lines.mid(4)) {
        if (line.startsWith("arg:"))
            probe.arguments.append(line.mid(4));
    }
    return probe;
}

void ProcessStarterTest::commandLine_data()
{
    QTest::addColumn<QString>("line"); // relative to the test's folder unless it is a bare name
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("a program file: its own folder") << "prog" << true << "" << QStringList {};
    QTest::newRow("a folder with a blank") << "my tools/prog" << true << "my tools" << QStringList {};
    QTest::newRow("arguments after the program") << "prog -a  b" << true << "" << QStringList { "-a", "b" };
    QTest::newRow("the shortest prefix that is a program wins")
        << "a b/prog -x" << true << "" << QStringList { "b/prog", "-x" };
    QTest::newRow("a prefix that may not be executed is passed over")
        << "notes x/prog -v" << true << "notes x" << QStringList { "-v" };
    QTest::newRow("a bare name from PATH") << "=probe -z" << true << "bin" << QStringList { "-z" };
    QTest::newRow("no such file") << "missing" << false << "" << QStringList {};
    QTest::newRow("no such file, with arguments") << "missing -a" << false << "" << QStringList {};
    QTest::newRow("a folder") << "empty folder" << false << "" << QStringList {};
    QTest::newRow("a file that may not be executed") << "notes" << false << "" << QStringList {};
    QTest::newRow("nothing") << "=" << false << "" << QStringList {};
}

void ProcessStarterTest::commandLine()
{
    QFETCH(QString, line);
    QFETCH(bool, starts);
    QFETCH(QString, folder);
    QFETCH(QStringList, arguments);
    // "=name": taken as it stands, not as a path in the test's folder.
    const QString commandLine = line.startsWith('=') ? line.mid(1) : Path(line);

    DetachedProcessStarter starter;
    const ProcessId process = starter.StartCommandLine(commandLine);

    QCOMPARE(process != 0, starts);
    if (!starts)
        return;
    const Probe probe = WaitForProbe();
    QVERIFY(probe.ran);
    QCOMPARE(probe.process, process);
    QCOMPARE(QDir(probe.folder), QDir(folder.isEmpty() ? m_dir.path() : Path(folder)));
    QCOMPARE(probe.arguments, arguments);
}

void ProcessStarterTest::separateArguments_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("starts");

    QTest::newRow("arguments with blanks, a folder")
        << "my tools/prog" << QStringList { "a b", "", "c" } << "empty folder" << true;
    QTest::newRow("a bare name from PATH") << "=probe" << QStringList { "-q" } << "my tools" << true;
    QTest::newRow("no folder: ours") << "prog" << QStringList {} << "" << true;
    QTest::newRow("no such folder") << "prog" << QStringList {} << "gone" << false;
    QTest::newRow("no such program") << "=no-such-program-here" << QStringList {} << "" << false;
    QTest::newRow("may not be executed") << "notes" << QStringList {} << "" << false;
}

void ProcessStarterTest::separateArguments()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, folder);
    QFETCH(bool, starts);
    const QString path = program.startsWith('=') ? program.mid(1) : Path(program);

    DetachedProcessStarter starter;
    const ProcessId process = starter.Start({ path, arguments, folder.isEmpty() ? QString() : Path(folder) });

    QCOMPARE(process != 0, starts);
    if (!starts)
        return;
    const Probe probe = WaitForProbe();
    QVERIFY(probe.ran);
    QCOMPARE(QDir(probe.folder), QDir(folder.isEmpty() ? QDir::currentPath() : Path(folder)));
    QCOMPARE(probe.arguments, arguments);
}

void ProcessStarterTest::startedProgramIsDetached()
{
    // A descriptor of ours that would be inherited if nothing closed it.
    const int ours = ::open("/dev/null", O_RDONLY);
    QVERIFY(ours >= 3);

    DetachedProcessStarter starter;
    const ProcessId process = starter.StartCommandLine(Path("prog"));
    const Probe probe = WaitForProbe();
    ::close(ours);

    QVERIFY(probe.ran);
    QVERIFY(probe.parent != ::getpid());
    QVERIFY(probe.session != ::getsid(0));
    QCOMPARE(probe.input, QStringLiteral("/dev/null"));
    QVERIFY2(!probe.descriptors.contains(QString::number(ours)), qPrintable(probe.descriptors.join(' ')));
    // Nothing is left for us to reap: neither the program nor the process that started it.
    QCOMPARE(::waitpid(static_cast<pid_t>(process), nullptr, WNOHANG), -1);
    QCOMPARE(errno, ECHILD);
    QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
}

void ProcessStarterTest::desktopShellStartsEntriesAndPrograms()
{
    QFile entry(Path("Prog.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Probe\nExec=\"" + Path("my tools/prog").toLocal8Bit()
                + "\" --from-entry %U\nPath=" + Path("empty folder").toLocal8Bit() + "\n");
    entry.close();
    DetachedProcessStarter starter;
    DesktopEntryResolver shortcuts;
    XdgDesktopShell shell(starter, shortcuts);

    QVERIFY(shell.Open(Path("Prog.desktop")));
    Probe probe = WaitForProbe();
    QVERIFY(probe.ran);
    QCOMPARE(QDir(probe.folder), QDir(Path("empty folder")));
    QCOMPARE(probe.arguments, QStringList { "--from-entry" });

    QVERIFY(shell.Open(Path("my tools/prog")));
    probe = WaitForProbe();
    QVERIFY(probe.ran);
    QCOMPARE(QDir(probe.folder), QDir(Path("my tools")));
}

QTEST_GUILESS_MAIN(ProcessStarterTest)
#include "ProcessStarterTest.moc"
