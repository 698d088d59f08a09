#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// The end of the user's session as this platform announces it to a program: SIGTERM (the
// session manager or the desktop going down) and SIGHUP (the terminal or X session gone).
// The callback runs on the user-interface thread, not inside the signal handler.
class SessionEnd final : public QObject
{
public:
    explicit SessionEnd(std::function<void()> onEnd);
    ~SessionEnd() override;

private:
    std::function<void()> m_onEnd;
    QSocketNotifier* m_notifier = nullptr;
};
