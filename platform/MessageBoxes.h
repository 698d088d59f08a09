#pragma once

#include <QString>

// The modal message boxes of the controller. Each runs its own message loop while it is up
// (timer ticks and socket notifications go on) and returns when the user answers.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;

    // Warning box captioned "Warning" with the single button "OK".
    virtual void Warning(const QString& text) = 0;
    // Confirmation box captioned "Confirm" with "&Yes" and "&No"; true for "&Yes".
    virtual bool Confirm(const QString& text) = 0;
    // The standard error box for an error raised inside a handler, captioned with the title.
    virtual void Error(const QString& caption, const QString& text) = 0;
};
