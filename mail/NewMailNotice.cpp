#include "mail/NewMailNotice.h"

#include "platform/DesktopShell.h"
#include "platform/MessageBoxes.h"

NewMailNotice::NewMailNotice(MessageBoxes& messageBoxes, DesktopShell& shell)
    : m_messageBoxes(messageBoxes)
    , m_shell(shell)
{ }

QString NewMailNotice::Text(std::int32_t messageCount, std::int32_t messageOctets, int action)
{
    QString text
        = QStringLiteral("You have %1 new messages,\r\ntotalizing %2 octets.").arg(messageCount).arg(messageOctets);
    if (action == OfferToGetMail)
        text += QStringLiteral("\r\n\r\nGet the new mail now?");
    return text;
}

void NewMailNotice::Show(std::int32_t messageCount, std::int32_t messageOctets, int action, const QString& mailProgram)
{
    const QString text = Text(messageCount, messageOctets, action);
    if (action != OfferToGetMail) {
        m_messageBoxes.Warning(text);
        return;
    }
    if (m_messageBoxes.Confirm(text))
        m_shell.Open(mailProgram);
}
