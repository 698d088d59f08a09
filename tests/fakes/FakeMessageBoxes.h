#pragma once

#include "platform/MessageBoxes.h"

#include <QStringList>

#include <functional>

// Message boxes answered by the test: each records its text and returns the scripted answer.
class FakeMessageBoxes final : public MessageBoxes
{
public:
    void Warning(const QString& text) override
    {
        warnings << text;
        if (whileWarning)
            whileWarning();
    }
    bool Confirm(const QString& text) override
    {
        confirmations << text;
        return confirmAnswer;
    }
    void Error(const QString& caption, const QString& text) override { errors << caption + QStringLiteral("|") + text; }

    QStringList warnings;
    QStringList confirmations;
    QStringList errors;
    bool confirmAnswer = false;
    // Runs while a warning is "up", as the box's own message loop would let things happen.
    std::function<void()> whileWarning;
};
