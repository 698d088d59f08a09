#pragma once

#include "platform/ProcessStarter.h"

#include <QHash>
#include <QStringList>

// Starts nothing: the programs that "exist" are the ones the test names, each with the process
// id its start returns; anything else fails to start. Records every start as text.
class FakeProcessStarter final : public ProcessStarter
{
public:
    ProcessId StartCommandLine(const QString& commandLine) override
    {
        starts.append(commandLine);
        return programs.value(commandLine, 0);
    }

    ProcessId Start(const ProcessCommand& command) override
    {
        starts.append(Describe(command));
        return programs.value(command.program, 0);
    }

    // "program arg1 arg2 in folder", as starts records a start with separate arguments.
    static QString Describe(const ProcessCommand& command)
    {
        return QStringList { command.program, command.arguments.join(QLatin1Char(' ')), QStringLiteral("in"),
                             command.folder }
            .join(QLatin1Char(' '));
    }

    // By command line (or program, for starts with separate arguments): the id of its process.
    QHash<QString, ProcessId> programs;
    QStringList starts;
};
