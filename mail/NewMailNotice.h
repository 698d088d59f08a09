#pragma once

#include <QString>

#include <cstdint>

class DesktopShell;
class MessageBoxes;

// What the user is shown when clicking the new-mail icon: the number and size of the waiting
// messages, and, when the user chose so, the offer to start the mail program.
class NewMailNotice final
{
public:
    // The items of the "When new mail arrives" choice.
    enum Action
    {
        WarnTheUser = 0,
        OfferToGetMail = 1,
    };

    NewMailNotice(MessageBoxes& messageBoxes, DesktopShell& shell);

    // The text shown: both figures in plain decimal, the same wording for one message.
    static QString Text(std::int32_t messageCount, std::int32_t messageOctets, int action);

    // Warns (any action but OfferToGetMail), or asks, and on "&Yes" opens `mailProgram` with the
    // shell's "Open" verb; whether that started anything is not looked at. Returns when the user
    // has answered.
    void Show(std::int32_t messageCount, std::int32_t messageOctets, int action, const QString& mailProgram);

private:
    MessageBoxes& m_messageBoxes;
    DesktopShell& m_shell;
};
