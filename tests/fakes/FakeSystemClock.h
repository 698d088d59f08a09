#pragma once

#include "platform/SystemClock.h"

#include <QDateTime>

#include <cerrno>
#include <cstring>
#include <vector>

// A clock that stands still at the time the test gives it (or runs, when told), takes every
// accepted change as its new time and records each attempt.
class FakeSystemClock final : public SystemClock
{
public:
    TimeZoneInformation GetTimeZoneInformation() const override { return m_zone; }
    SystemTime GetLocalTime() const override
    {
        const QDateTime now(QDate(m_now.year, m_now.month, m_now.day),
                            QTime(m_now.hour, m_now.minute, m_now.second, m_now.millisecond), Qt::UTC);
        const QDateTime read = now.addMSecs(m_step);
        m_now = { static_cast<std::uint16_t>(read.date().year()),   static_cast<std::uint16_t>(read.date().month()),
                  static_cast<std::uint16_t>(read.date().day()),    static_cast<std::uint16_t>(read.time().hour()),
                  static_cast<std::uint16_t>(read.time().minute()), static_cast<std::uint16_t>(read.time().second()),
                  static_cast<std::uint16_t>(read.time().msec()) };
        return m_now;
    }

    ClockResult SetLocalTime(const SystemTime& time) override
    {
        m_sets.push_back(time);
        if (m_refusal != 0)
            return ClockResult { m_refusal, QString::fromLocal8Bit(std::strerror(m_refusal)) };
        m_now = time;
        return {};
    }

    void SetZone(const TimeZoneInformation& zone) { m_zone = zone; }
    void SetNow(const SystemTime& now) { m_now = now; }
    // Every later read finds the clock `ms` further on, as if each read took that long.
    void Run(int ms) { m_step = ms; }
    // Every later change fails with this errno (EPERM: no right to set the clock); 0 accepts again.
    void Refuse(int error = EPERM) { m_refusal = error; }
    // Every record passed to SetLocalTime, refused ones included, oldest first.
    const std::vector<SystemTime>& Sets() const { return m_sets; }

private:
    TimeZoneInformation m_zone { TimeZoneId::Standard, 0, 0, 0 };
    mutable SystemTime m_now { 2000, 1, 1, 12, 0, 0, 0 };
    int m_step = 0;
    int m_refusal = 0;
    std::vector<SystemTime> m_sets;
};
