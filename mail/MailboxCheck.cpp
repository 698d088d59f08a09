#include "mail/MailboxCheck.h"

#include "base/ApplicationServices.h"
#include "components/TimerLst.h"
#include "mail/StatReply.h"
#include "net/WSockets.h"
#include "platform/MessageWait.h"

namespace {

const QString Pop3Port = QStringLiteral("110");
const QString Ok = QStringLiteral("+OK");

// A line break inside a user name or password would end its command early and let the rest
// pass for commands of its own.
bool SafeArgument(const QString& text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'));
}

} // namespace

MailboxCheck::MailboxCheck(State state, TTCPClient& client, TRxTimerEvent& replyDeadline,
                           ApplicationServices& application, MessageWait& wait)
    : m_state(state)
    , m_client(client)
    , m_replyDeadline(replyDeadline)
    , m_application(application)
    , m_wait(wait)
{ }

bool MailboxCheck::Run(const QString& server, const QString& user, const QString& password)
{
    m_state.MailCheckBusy = true;
    m_state.ReplyReceived = false;
    bool newMail = false;
    try {
        newMail = Dialogue(server, user, password);
    } catch (...) {
        // Whatever ends the check, the next tick must be able to start another.
        if (m_client.State() != ssIdle)
            m_client.Close();
        m_state.MailCheckBusy = false;
        throw;
    }
    if (!newMail) {
        if (m_client.State() != ssIdle)
            m_client.Close();
        m_state.MailCheckBusy = false;
    }
    return newMail;
}

bool MailboxCheck::Dialogue(const QString& server, const QString& user, const QString& password)
{
    if (!SafeArgument(user) || !SafeArgument(password))
        return false;
    m_client.SetHost(server);
    m_client.SetPort(Pop3Port);
    m_client.Open();
    if (!Step(QString()) || !Step(QStringLiteral("User ") + user + QStringLiteral("\r\n"))
        || !Step(QStringLiteral("Pass ") + password + QStringLiteral("\r\n")) || !Step(QStringLiteral("Stat\r\n")))
        return false;
    const QString statReply = m_state.ServerReply;
    if (!Step(QStringLiteral("Quit\r\n")))
        return false;
    if (m_client.State() != ssIdle)
        m_client.Close();
    const std::optional<StatFigures> figures = ParseStatReply(statReply);
    if (!figures)
        return false;
    m_state.MessageCount = figures->MessageCount;
    m_state.MessageOctets = figures->MessageOctets;
    const bool newMail = m_state.MessageCount != 0 && m_state.MessageOctets != 0
        && (m_state.MessageCount != m_state.NotifiedCount || m_state.MessageOctets != m_state.NotifiedOctets);
    if (!newMail)
        return false;
    m_state.NotifiedCount = m_state.MessageCount;
    m_state.NotifiedOctets = m_state.MessageOctets;
    return true;
}

bool MailboxCheck::Step(const QString& command)
{
    if (!command.isEmpty()) {
        // The server has closed: a command now would only earn a socket error for the user.
        if (m_client.State() == ssIdle)
            return false;
        m_client.SendText(command);
    }
    return WaitServerString(ReplyWait) && m_state.ServerReply.startsWith(Ok);
}

bool MailboxCheck::WaitServerString(std::int32_t value)
{
    m_state.ReplyTimedOut = false;
    m_replyDeadline.SetInterval(value);
    m_replyDeadline.SetEnabled(true);
    // What is pending first; then sleep until the next message instead of asking again at once.
    m_application.ProcessMessages();
    while (Waiting()) {
        m_wait.WaitMessage();
        if (Waiting())
            m_application.ProcessMessages();
    }
    const bool received = m_state.ReplyReceived;
    m_state.ReplyReceived = false;
    return received;
}

bool MailboxCheck::Waiting() const
{
    return !m_state.ReplyTimedOut && !m_state.ReplyReceived && !m_application.Terminated();
}

void MailboxCheck::ReplyArrived()
{
    m_state.ServerReply = m_client.ReceiveText();
    m_state.ReplyReceived = true;
}

void MailboxCheck::DeadlinePassed()
{
    m_state.ReplyTimedOut = true;
}
