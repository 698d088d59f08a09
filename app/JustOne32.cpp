#include "app/JustOne32.h"

#include "app/Application.h"
#include "app/PreviousInstance.h"
#include "platform/SingleInstance.h"

TJustOne32::TJustOne32(TApplication& application, SingleInstance& platform, const TPreviousInstance& previousInstance)
    : m_application(application)
{
    if (previousInstance.PreviousInstanceExists()) {
        // Whether or not the running copy answered, this one ends.
        platform.RequestHandOver(previousInstance.Name(), HandOverTimeoutMs);
        m_application.Terminate();
        return;
    }
    if (previousInstance.HoldsMutex())
        platform.Listen([this] { ComeForward(); });
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
