#pragma once

#include "platform/VersionInfo.h"

// A program file whose version block the test chooses; it counts how often the block was read.
class FakeVersionInfo final : public VersionInfo
{
public:
    std::uint32_t Size() override { return static_cast<std::uint32_t>(block.size()); }
    bool Read(QByteArray& data) override
    {
        ++reads;
        data = block;
        return !block.isEmpty();
    }

    // Empty: the program has no version block.
    QByteArray block;
    int reads = 0;
};
