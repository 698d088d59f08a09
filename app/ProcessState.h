#pragma once

#include <QString>

#include <cstdint>

// The state the handlers share for the whole run, touched only on the user-interface thread.
struct ProcessState
{
    // A time query runs, or the dialog, the About box or a message box of the controller is up.
    bool Busy = false;
    // The dialog was opened for editing; Exit asks to save only then.
    bool SetupOpened = false;
    // The last time query set the clock.
    bool TimeObtained = false;
    // The launcher has run for the current connection.
    bool AppsLaunched = false;
    // The launcher list was edited since the last Save or Cancel.
    bool AppListModified = false;
    // A mail check runs or its notice waits for the user.
    bool MailCheckBusy = false;
    bool ReplyTimedOut = false;
    bool ReplyReceived = false;

    QString ServerReply;
    std::int32_t MessageCount = 0;
    std::int32_t MessageOctets = 0;
    std::int32_t NotifiedCount = 0;
    std::int32_t NotifiedOctets = 0;

    // "C:\" means that no mail program was chosen.
    QString EmailClientPath;
    // Dotted IPv4 texts of at most 15 characters.
    QString LastTimeAddress;
    QString DialUpAddress;
};

inline const QString NoMailClient = QStringLiteral("C:\\");

// The dialog's settings as they were when the controller last came up to the user.
struct SettingsSnapshot
{
    int SavedTimeMode = 0;
    int SavedDetectMode = 0;
    QString SavedServerAddress;
    QString SavedPOPServer;
    QString SavedUsername;
    QString SavedPassword;
    double SavedInterval = 0.0;
    int SavedAction = 0;
    QString SavedEmailClientPath;
};
