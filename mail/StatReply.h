#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The mailbox figures of a POP3 STAT reply.
struct StatFigures
{
    std::int32_t MessageCount = 0;
    std::int32_t MessageOctets = 0;
};

// Reads the count and the size from a STAT reply ("+OK 2 320\r\n" gives 2 and 320). The count is
// the run of digits that starts at the fifth character and ends at the first non-digit; the size
// is the run of digits right after that character (0 when there is none). A reply shorter than
// five characters, or whose count digits run to its end, gives 0 and 0. Nothing when the count is
// missing (no digit at the fifth character) or a figure does not fit a signed 32-bit number.
std::optional<StatFigures> ParseStatReply(const QString& reply);
