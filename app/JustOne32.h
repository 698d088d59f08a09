#pragma once

#include <QString>

class SingleInstance;
class TApplication;
class TPreviousInstance;

// The single-instance component. When the start-up test found another copy, it hands the user
// over to that copy and asks this one to terminate; in the first copy it answers later copies by
// bringing the application back to the user.
class TJustOne32 final
{
public:
    // How long a later copy tries to reach the running one, which may itself still be starting.
    static constexpr int HandOverTimeoutMs = 5000;

    TJustOne32(TApplication& application, SingleInstance& platform, const TPreviousInstance& previousInstance);

    // Never stored; carries no behaviour.
    QString About;

private:
    // The running copy's side of a hand-over: restore the application if it is iconic, else bring
    // it to the top; then make it the foreground window.
    void ComeForward();

    TApplication& m_application;
};
