#pragma once

#include "platform/MessageWait.h"

#include <functional>

// A wait that returns at once: what "arrives" meanwhile is up to the test, through onWait (a
// server's next reply, time passing on the fake timers). Counts the waits.
class FakeMessageWait final : public MessageWait
{
public:
    void WaitMessage() override
    {
        ++waits;
        if (onWait)
            onWait();
    }
    void WaitMessageFor(int) override { WaitMessage(); }

    std::function<void()> onWait;
    int waits = 0;
};
