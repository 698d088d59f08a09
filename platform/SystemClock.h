#pragma once

#include <QString>

#include <cstdint>

// A calendar date and time of day as the clock calls exchange them.
struct SystemTime
{
    std::uint16_t year = 0;
    std::uint16_t month = 0; // 1..12
    std::uint16_t day = 0; // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t millisecond = 0;

    bool operator==(const SystemTime&) const = default;
};

// Which of the zone's offsets is in force now.
enum class TimeZoneId
{
    Unknown, // no daylight-saving information: callers fall back to no bias at all
    Standard,
    Daylight,
    Invalid, // the zone could not be read
};

// Offsets in minutes, with UTC = local time + bias: west of Greenwich is positive.
struct TimeZoneInformation
{
    TimeZoneId id = TimeZoneId::Invalid;
    int bias = 0;
    int standardBias = 0; // added to bias while standard time is in force
    int daylightBias = 0; // added to bias while daylight-saving time is in force
};

// Who refused a clock change.
enum class ClockRefuser
{
    System, // the system call: `message` is the platform's text for the errno
    TimeService, // the system's time service: `message` is its reason
    AutomaticSync, // the time service, since the system keeps the clock synchronised itself
};

// Outcome of a clock change: error 0 means it was applied.
struct ClockResult
{
    int error = 0; // errno of the refusal
    QString message;
    ClockRefuser refuser = ClockRefuser::System;

    bool ok() const { return error == 0; }
};

// The computer's wall clock, read and set in local time.
class SystemClock
{
public:
    virtual ~SystemClock() = default;

    // The zone rules in force at the clock's current time. A zone without daylight-saving rules
    // reports Standard with its own offset. Returns id Invalid when the zone cannot be read.
    virtual TimeZoneInformation GetTimeZoneInformation() const = 0;

    // The current local time, to the millisecond. Never fails.
    virtual SystemTime GetLocalTime() const = 0;

    // Sets the clock so that the local time reads `time` now. Fails with EINVAL for a record that
    // names no existing date or time (nothing is changed) and with the platform's errno when the
    // change is refused (EPERM without the right to set the clock). Where the system has a time
    // service that sets the clock for programs without that right, it is asked instead: the
    // program's messages go on while it (or the user it asks) decides, and its refusal is EPERM.
    virtual ClockResult SetLocalTime(const SystemTime& time) = 0;
};
