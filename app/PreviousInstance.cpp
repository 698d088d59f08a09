#include "app/PreviousInstance.h"

#include "platform/SingleInstance.h"

TPreviousInstance::TPreviousInstance(SingleInstance& platform, const QString& title)
    : m_platform(platform)
    , m_name(title.left(255))
{
    switch (m_platform.Lock(m_name)) {
    case SingleInstance::LockResult::Acquired:
        m_mutexHandle = true;
        break;
    case SingleInstance::LockResult::Held:
        m_previousInstanceExists = true;
        break;
    case SingleInstance::LockResult::Failed:
        break;
    }
}

TPreviousInstance::~TPreviousInstance()
{
    if (m_mutexHandle)
        m_platform.Unlock();
}
