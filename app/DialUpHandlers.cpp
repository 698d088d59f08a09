// The dial-up watcher and the program launcher: the handlers of the setup form that watch the
// connection, start and close the user's programs and edit their list.

#include "app/Setup.h"
#include "ui_SetupForm.h"

void TSetupForm::RxTimerEvent2Timer()
{
    m_watcher.Tick();
}

void TSetupForm::ApplicationLauncher()
{
    QStringList programs;
    for (int i = 0; i < ui->AppLaunchTextListBox->count(); ++i)
        programs.append(ui->AppLaunchTextListBox->item(i)->text());
    m_launcher.ApplicationLauncher(programs);
}

void TSetupForm::ApplicationCloser()
{
    m_launcher.ApplicationCloser();
}

void TSetupForm::IncludeButtonClick()
{
    m_launcherList.Include();
}

void TSetupForm::RemoveButtonClick()
{
    m_launcherList.Remove();
}

void TSetupForm::RemoveAllButtonClick()
{
    m_launcherList.RemoveAll();
}
