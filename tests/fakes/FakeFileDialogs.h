#pragma once

#include "platform/FileDialogs.h"

#include <QList>
#include <QStringList>

// Open-file dialogs answered by the test: each records how it was set up and returns the next
// scripted answer (nothing, that is Cancel, once the script runs out).
class FakeFileDialogs final : public FileDialogs
{
public:
    std::optional<QString> Open(const TOpenDialog& dialog) override
    {
        shown.append(dialog);
        if (answers.isEmpty())
            return std::nullopt;
        return answers.takeFirst();
    }

    QList<TOpenDialog> shown;
    QList<std::optional<QString>> answers;
};
