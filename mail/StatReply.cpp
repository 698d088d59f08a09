#include "mail/StatReply.h"

#include <limits>

namespace {

constexpr qsizetype CountStart = 4; // the fifth character, just after "+OK" and a blank

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The decimal number of reply[first, last); nothing when empty or too large for 32 bits.
std::optional<std::int32_t> Number(const QString& reply, qsizetype first, qsizetype last)
{
    if (first == last)
        return std::nullopt;
    std::int64_t value = 0;
    for (qsizetype i = first; i < last; ++i) {
        value = value * 10 + (reply[i].unicode() - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

std::optional<StatFigures> ParseStatReply(const QString& reply)
{
    StatFigures figures;
    qsizetype countEnd = CountStart;
    while (countEnd < reply.size() && IsDigit(reply[countEnd]))
        ++countEnd;
    if (countEnd >= reply.size())
        return figures; // too short, or the count's digits run to the end: no figures at all
    const auto count = Number(reply, CountStart, countEnd);
    if (!count)
        return std::nullopt;
    figures.MessageCount = *count;
    const qsizetype sizeStart = countEnd + 1;
    qsizetype sizeEnd = sizeStart;
    while (sizeEnd < reply.size() && IsDigit(reply[sizeEnd]))
        ++sizeEnd;
    if (sizeEnd == sizeStart)
        return figures;
    const auto octets = Number(reply, sizeStart, sizeEnd);
    if (!octets)
        return std::nullopt;
    figures.MessageOctets = *octets;
    return figures;
}
