#pragma once

#include "platform/MessageBoxes.h"

class QtMessageBoxes final : public MessageBoxes
{
public:
    void Warning(const QString& text) override;
    bool Confirm(const QString& text) override;
    void Error(const QString& caption, const QString& text) override;
};
