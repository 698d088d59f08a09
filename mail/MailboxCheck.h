#pragma once

#include "mail/MailServerAddress.h"
#include "net/TlsChannel.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <set>

class ApplicationServices;
class MessageWait;
class TRxTimerEvent;
class TTCPClient;

// One look into the user's mailbox over POP3 (USER, PASS, STAT, QUIT): it logs in, reads the
// message count and size, logs out, and tells whether new mail arrived since the last notice.
// The server's address chooses plain POP3, TLS from the start, or STLS (see MailServerAddress);
// the user name goes out only once the certificate has passed.
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
    // The warning when the last check gave up on the server's security for a reason not yet
    // reported in this run; empty otherwise.
    QString TakeTlsWarning();

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
    // Asks for the capabilities and moves to TLS when STLS is among them.
    bool StartTls();
    // The handshake on the connection once it is up; false when it failed or did not end in time.
    bool Handshake();
    // Sends `command` (none for the greeting) and waits for a reply that begins with "+OK".
    bool Step(const QString& command);
    // Sends `command` (none for the greeting) and waits for a reply.
    bool Command(const QString& command);
    // Waits as WaitServerString does, until `done` holds; returns `done`.
    bool WaitFor(std::int32_t value, const std::function<bool()>& done);
    bool Waiting(const std::function<bool()>& done) const;

    State m_state;
    TTCPClient& m_client;
    TRxTimerEvent& m_replyDeadline;
    ApplicationServices& m_application;
    MessageWait& m_wait;
    TlsChannel m_channel;
    MailServerAddress m_address;
    TlsFailure m_failure = TlsFailure::None;
    std::set<TlsFailure> m_reported;
};
