#pragma once

#include "base/ApplicationServices.h"
#include "base/Errors.h"

#include <QString>

#include <exception>
#include <functional>

class MessageBoxes;
class QWidget;

// The application object: its title, its task-bar presence, its minimise (which hides the main
// form with it) and restore notifications, the message loop's services and the standard error box.
// The task-bar window of older desktops is the dialog's own task-bar entry here: hiding it takes
// the dialog out of the task bar's reckoning (the tray menu opens then) but leaves it on screen.
class TApplication final : public ApplicationServices
{
public:
    // `quit` ends the message loop; by default the toolkit's.
    TApplication(QString title, MessageBoxes& messageBoxes, std::function<void()> quit = {});

    const QString& Title() const override { return m_title; }

    void SetMainForm(QWidget* form) { m_mainForm = form; }

    // The main form's own visibility; it is on screen only while the application is not minimised.
    void SetFormVisible(bool visible);

    bool TaskbarWindowVisible() const { return m_taskbarVisible; }
    bool TaskbarWindowOnScreen() const override;
    void ShowTaskbarWindow(bool visible) override;

    // The toolkit's minimise and restore: each changes the application's state once and then runs
    // its notification, which the tray icon takes over. Showing the task-bar window restores too.
    void Minimize();
    void Restore();

    // Brings the application's windows in front of other programs' (the foreground window): a
    // modal box before the main form, also one that opens right after the call.
    void BringToForeground();

    // The application as another copy's hand-over sees it. Iconic: minimised into the tray, or its
    // main form iconified by the window manager.
    bool IsIconic() const;
    // Brings an iconic application back: from the tray through the restore notification (so the
    // tray icon and the controller take part), an iconified main form to its normal state.
    void RestoreWindow();
    // Raises the application's windows above other programs', a modal box above the main form.
    void BringToTop();

    void ProcessMessages() override;
    // Ends the message loop, nested ones included; the program then ends.
    void Terminate();
    bool Terminated() const override { return m_terminated; }

    void HandleException(const std::exception& error) override;
    // HandleException, for components that run handlers of their own.
    ErrorHandler ErrorBox()
    {
        return [this](const std::exception& error) { HandleException(error); };
    }

private:
    void ApplyVisibility();

    QString m_title;
    MessageBoxes& m_messageBoxes;
    std::function<void()> m_quit;
    QWidget* m_mainForm = nullptr;
    bool m_formVisible = false;
    bool m_taskbarVisible = false;
    bool m_minimized = false;
    bool m_terminated = false;
};
