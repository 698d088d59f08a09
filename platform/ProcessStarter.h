#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// A process of the system, by its id; 0 is none.
using ProcessId = std::int64_t;

// A program to start, with its arguments already separated, and the folder it starts in.
struct ProcessCommand
{
    // A path, or a bare name that is looked up in PATH.
    QString program;
    QStringList arguments;
    // Empty: the folder this program runs in.
    QString folder;
};

// Starts programs for the user. Every program started here is detached from this one: it runs
// on after this program ends, gets no handle or socket of ours, and is never left behind as an
// unreaped child of ours.
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;

    // Starts the program an unquoted command line names, in that program's own folder. The line
    // names a file as a whole, or else the shortest prefix of it that ends before a blank and
    // names an executable file is the program and the rest, split at blanks, its arguments.
    // Returns the new process's id; 0 when no program could be started (no prefix names an
    // executable file, the line names a directory or a file that may not be executed).
    virtual ProcessId StartCommandLine(const QString& commandLine) = 0;

    // Starts command.program with command.arguments in command.folder. Returns the new
    // process's id; 0 when it could not be started (no such program, not executable, no such
    // folder).
    virtual ProcessId Start(const ProcessCommand& command) = 0;
};
