#pragma once

#include "platform/ProcessStarter.h"

// Programs started in a session of their own by a short-lived intermediate process, which is
// reaped at once: the program itself becomes a child of the system's reaper. It gets standard
// input from /dev/null, this program's environment and standard output, and nothing else of ours.
class DetachedProcessStarter final : public ProcessStarter
{
public:
    ProcessId StartCommandLine(const QString& commandLine) override;
    ProcessId Start(const ProcessCommand& command) override;
};
