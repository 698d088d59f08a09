#pragma once

#include <QString>

#include <cstdint>

class ApplicationServices;
class MessageWait;
class TRxTimerEvent;
class TTCPClient;

// One look into the user's mailbox over POP3 (USER, PASS, STAT, QUIT): it logs in, reads the
// message count and size, logs out, and tells whether new mail arrived since the last notice.
// It runs on the user-interface thread and waits for each reply there, dispatching messages, so
// the rest of the program goes on meanwhile; the reply deadline holds for the whole dialogue.
class MailboxCheck final
{
public:
    static constexpr std::int32_t ReplyWait = 20000;

    // The process-wide state a check reads and changes; its owner keeps it.
    struct State
    {
        bool& MailCheckBusy;
        bool& ReplyTimedOut;
        bool& ReplyReceived;
        QString& ServerReply;
        std::int32_t& MessageCount;
        std::int32_t& MessageOctets;
        std::int32_t& NotifiedCount;
        std::int32_t& NotifiedOctets;
    };

    MailboxCheck(State state, TTCPClient& client, TRxTimerEvent& replyDeadline, ApplicationServices& application,
                 MessageWait& wait);

    // The check, MailCheckBusy set for its whole run. True when new mail waits: the notified
    // figures are then the mailbox's and MailCheckBusy stays set until the notice is handled.
    // Otherwise (no new mail, or any failed step) the connection is closed and MailCheckBusy
    // cleared, without a word to the user.
    bool Run(const QString& server, const QString& user, const QString& password);

    // Waits up to `value` ms (the deadline event's interval; one already running keeps its
    // deadline) for the server's next reply; true when one arrived. Leaves early, with false,
    // when the application is asked to end.
    bool WaitServerString(std::int32_t value);
    // The client has data: it becomes the server's reply.
    void ReplyArrived();
    // The reply deadline passed.
    void DeadlinePassed();

private:
    bool Dialogue(const QString& server, const QString& user, const QString& password);
    // Sends `command` (none for the greeting) and waits for a reply that begins with "+OK".
    bool Step(const QString& command);
    bool Waiting() const;

    State m_state;
    TTCPClient& m_client;
    TRxTimerEvent& m_replyDeadline;
    ApplicationServices& m_application;
    MessageWait& m_wait;
};
