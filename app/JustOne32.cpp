#include "app/JustOne32.h"

#include "app/Application.h"
#include "app/PreviousInstance.h"
#include "platform/SingleInstance.h"

#include <cstdio>

TJustOne32::TJustOne32(TApplication& application, SingleInstance& platform, const TPreviousInstance& previousInstance)
    : m_application(application)
{
    if (previousInstance.PreviousInstanceExists()) {
        // Whether or not the running copy answered, this one ends.
        platform.RequestHandOver(previousInstance.Name(), HandOverTimeoutMs);
        m_application.Terminate();
        return;
    }
    // Without the channel a later start still ends, but cannot bring this copy forward; this copy
    // runs on, so the reason goes where a user who wonders can find it.
    if (previousInstance.HoldsMutex() && !platform.Listen([this] { ComeForward(); }))
        std::fprintf(stderr, "%s: later starts cannot reach this copy: %s\n", qPrintable(application.Title()),
                     qPrintable(platform.ListenError()));
}

void TJustOne32::ComeForward()
{
    // Restoring runs the tray's and the controller's handlers, whose errors go to the error box.
    try {
        if (m_application.IsIconic())
            m_application.RestoreWindow();
        else
            m_application.BringToTop();
        m_application.BringToForeground();
    } catch (const std::exception& error) {
        m_application.HandleException(error);
    }
}
