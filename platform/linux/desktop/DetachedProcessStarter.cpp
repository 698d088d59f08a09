#include "platform/linux/desktop/DetachedProcessStarter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// What the intermediate process and the program report back through the start pipe.
struct StartReport
{
    char kind; // 'p': the program's process id; 'e': errno of a failed chdir or exec
    std::int64_t value;
};

bool IsExecutableFile(const QString& path)
{
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable();
}

// A path as given, or a bare name looked up in PATH the way a shell does; empty when not found.
QString FindProgram(const QString& program)
{
    if (program.isEmpty())
        return {};
    if (program.contains(QLatin1Char('/')))
        return program;
    const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'));
    for (const QString& folder : folders) {
        QString candidate = (folder.isEmpty() ? QStringLiteral(".") : folder) + QLatin1Char('/') + program;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

QString FolderOf(const QString& program)
{
    return QFileInfo(program).absolutePath() + QLatin1Char('/');
}

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

void Report(int fd, char kind, std::int64_t value)
{
    const StartReport report { kind, value };
    [[maybe_unused]] const ssize_t written = ::write(fd, &report, sizeof report);
}

// Runs in the forked program before exec: only async-signal-safe calls from here on.
[[noreturn]] void ExecProgram(int reportFd, const char* program, char* const argv[], const char* folder)
{
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int input = ::open("/dev/null", O_RDONLY);
    if (input >= 0 && input != STDIN_FILENO) {
        ::dup2(input, STDIN_FILENO);
        ::close(input);
    }
    // Our sockets, the X connection and the settings file stay ours.
    ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    if (folder && ::chdir(folder) != 0) {
        Report(reportFd, 'e', errno);
        ::_exit(127);
    }
    ::execv(program, argv);
    Report(reportFd, 'e', errno);
    ::_exit(127);
}

ProcessId StartDetached(const QString& program, const QStringList& arguments, const QString& folder)
{
    const QString path = FindProgram(program);
    if (!IsExecutableFile(path))
        return 0;
    // Everything the forked processes need is prepared here: after fork only system calls.
    const QByteArray pathBytes = QFile::encodeName(path);
    const QByteArray folderBytes = QFile::encodeName(folder);
    std::vector<QByteArray> argumentBytes { QFile::encodeName(program) };
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const char* folderArgument = folder.isEmpty() ? nullptr : folderBytes.constData();

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return 0;
    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return 0;
    }
    if (intermediate == 0) {
        ::close(pipe[0]);
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0)
            ExecProgram(pipe[1], pathBytes.constData(), argv.data(), folderArgument);
        Report(pipe[1], child > 0 ? 'p' : 'e', child > 0 ? child : errno);
        ::_exit(0);
    }
    ::close(pipe[1]);
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) { }

    // The pipe closes when the program's exec succeeds; a failure is reported before that.
    ProcessId started = 0;
    bool failed = false;
    StartReport report {};
    for (;;) {
        const ssize_t got = ::read(pipe[0], &report, sizeof report);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof report))
            break;
        if (report.kind == 'p')
            started = report.value;
        else
            failed = true;
    }
    ::close(pipe[0]);
    return failed ? 0 : started;
}

} // namespace

ProcessId DetachedProcessStarter::StartCommandLine(const QString& commandLine)
{
    // Whole, the line is a path that may hold blanks.
    const QFileInfo whole(FindProgram(commandLine));
    if (whole.exists())
        return whole.isFile() ? StartDetached(commandLine, {}, FolderOf(whole.filePath())) : 0;
    for (qsizetype i = 1; i < commandLine.size(); ++i) {
        if (!IsBlank(commandLine.at(i)))
            continue;
        const QString program = FindProgram(commandLine.left(i));
        if (!IsExecutableFile(program))
            continue;
        QStringList arguments;
        for (const QString& part : commandLine.mid(i + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            arguments += part.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        return StartDetached(commandLine.left(i), arguments, FolderOf(program));
    }
    return 0;
}

ProcessId DetachedProcessStarter::Start(const ProcessCommand& command)
{
    return StartDetached(command.program, command.arguments, command.folder);
}
