#pragma once

#include "platform/FileDialogs.h"

class QtFileDialogs final : public FileDialogs
{
public:
    std::optional<QString> Open(const TOpenDialog& dialog) override;
};
