#pragma once

#include "platform/VersionInfo.h"

#include <QString>

class QFile;

// The ELF section that holds the program's version block; the program's sources put it there.
#define KRONVIK_VERSION_SECTION ".kronvik_version"

// Reads the version block from the section of that name in an ELF file, by default the running
// program's own. Files that are not ELF files of this machine's byte order, or whose section
// headers do not lie within the file, hold no version block.
class ElfVersionInfo final : public VersionInfo
{
public:
    explicit ElfVersionInfo(QString path = QStringLiteral("/proc/self/exe"));

    std::uint32_t Size() override;
    bool Read(QByteArray& data) override;

private:
    QString m_path;
};
