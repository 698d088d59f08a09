#pragma once

#include <QString>

class SingleInstance;

// The start-up test: whether a copy of the program with the same application title already runs
// for this user. Created once per process before anything is shown; the first copy holds the
// program's lock until this record goes away with the process, and a copy started after that
// becomes the new first one.
class TPreviousInstance final
{
public:
    // A lock that cannot be created counts as no other copy: the program then runs normally.
    TPreviousInstance(SingleInstance& platform, const QString& title);
    ~TPreviousInstance();
    TPreviousInstance(const TPreviousInstance&) = delete;
    TPreviousInstance& operator=(const TPreviousInstance&) = delete;

    bool PreviousInstanceExists() const { return m_previousInstanceExists; }
    // This process owns the lock.
    bool HoldsMutex() const { return m_mutexHandle; }
    // The name the lock was taken under: the title, cut to 255 characters.
    const QString& Name() const { return m_name; }

private:
    SingleInstance& m_platform;
    QString m_name;
    bool m_mutexHandle = false;
    bool m_previousInstanceExists = false;
};
