#pragma once

// The user-interface thread's wait for its next message, for a handler that waits inside itself
// for an event (a server's reply, a deadline) while the rest of the program goes on.
class MessageWait
{
public:
    virtual ~MessageWait() = default;

    // Sleeps until a message arrives (a timer tick, a socket notification, a call posted by another
    // thread, input, a request to quit) and dispatches what has arrived; when messages are already
    // waiting, dispatches them without sleeping. Never fails.
    virtual void WaitMessage() = 0;
    // The same, but sleeps no longer than timeoutMs.
    virtual void WaitMessageFor(int timeoutMs) = 0;
};
