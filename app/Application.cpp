#include "app/Application.h"

#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

TApplication::TApplication(QString title, MessageBoxes& messageBoxes, std::function<void()> quit)
    : m_title(std::move(title))
    , m_messageBoxes(messageBoxes)
    , m_quit(quit ? std::move(quit) : [] { QCoreApplication::exit(0); })
{ }

void TApplication::SetFormVisible(bool visible)
{
    m_formVisible = visible;
    ApplyVisibility();
}

void TApplication::ShowTaskbarWindow(bool visible)
{
    m_taskbarVisible = visible;
    if (visible)
        m_minimized = false;
    ApplyVisibility();
}

void TApplication::Minimize()
{
    if (m_minimized)
        return;
    m_minimized = true;
    ApplyVisibility();
    if (OnMinimize)
        OnMinimize();
}

void TApplication::Restore()
{
    m_minimized = false;
    ApplyVisibility();
    if (OnRestore)
        OnRestore();
}

void TApplication::BringToForeground()
{
    const auto bring = [](QWidget* window) {
        window->raise();
        window->activateWindow();
    };
    if (QWidget* modal = QApplication::activeModalWidget())
        bring(modal);
    else if (m_mainForm && m_mainForm->isVisible())
        bring(m_mainForm);
    // Callers ask before their box exists: the request is made again once the box's own loop
    // runs, so that the box itself comes forward with the focus.
    QTimer::singleShot(0, qApp, [bring] {
        if (QWidget* modal = QApplication::activeModalWidget())
            bring(modal);
    });
}

bool TApplication::TaskbarWindowOnScreen() const
{
    return m_taskbarVisible && !(m_mainForm && m_mainForm->isMinimized());
}

bool TApplication::IsIconic() const
{
    return !m_taskbarVisible || m_minimized || (m_mainForm && m_mainForm->isMinimized());
}

void TApplication::RestoreWindow()
{
    if (!m_taskbarVisible || m_minimized)
        Restore();
    if (m_mainForm && m_mainForm->isVisible() && m_mainForm->isMinimized())
        m_mainForm->setWindowState(m_mainForm->windowState() & ~Qt::WindowMinimized);
}

void TApplication::BringToTop()
{
    if (m_mainForm && m_mainForm->isVisible())
        m_mainForm->raise();
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->raise();
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::Terminate()
{
    m_terminated = true;
    m_quit();
}

void TApplication::HandleException(const std::exception& error)
{
    QString text = QString::fromUtf8(error.what());
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    m_messageBoxes.Error(m_title, text);
}

void TApplication::ApplyVisibility()
{
    if (!m_mainForm)
        return;
    const bool visible = m_formVisible && !m_minimized;
    // A form the window manager iconified comes back as a normal window, not as an icon.
    if (visible && m_mainForm->isMinimized())
        m_mainForm->setWindowState(m_mainForm->windowState() & ~Qt::WindowMinimized);
    m_mainForm->setVisible(visible);
}
