#pragma once

#include "platform/MessageWait.h"

// Sleeps in the thread's Qt event dispatcher until it has something to deliver.
class QtMessageWait final : public MessageWait
{
public:
    void WaitMessage() override;
    void WaitMessageFor(int timeoutMs) override;
};
