#include "platform/linux/version/ElfVersionInfo.h"

#include <QFile>

#include <cstring>
#include <elf.h>

namespace {

// Bounds that no version block and no sane program file come near.
constexpr quint64 MaxSection = 1 << 20;
constexpr quint64 MaxSections = 1 << 16;

struct Section
{
    quint64 offset = 0;
    quint64 size = 0;
};

bool Within(quint64 offset, quint64 size, quint64 fileSize)
{
    return offset <= fileSize && size <= fileSize - offset;
}

template<typename T> bool ReadAt(QFile& file, quint64 offset, T& value)
{
    return file.seek(static_cast<qint64>(offset))
        && file.read(reinterpret_cast<char*>(&value), sizeof value) == static_cast<qint64>(sizeof value);
}

template<typename Ehdr, typename Shdr> bool FindSection(QFile& file, Section& found)
{
    const quint64 fileSize = static_cast<quint64>(file.size());
    Ehdr header;
    if (!ReadAt(file, 0, header) || header.e_shentsize != sizeof(Shdr) || header.e_shoff == 0)
        return false;
    const auto sectionHeader
        = [&](quint64 index, Shdr& section) { return ReadAt(file, header.e_shoff + index * sizeof(Shdr), section); };
    // Files with very many sections keep the real count and string table index in section 0.
    Shdr first;
    if (!Within(header.e_shoff, sizeof(Shdr), fileSize) || !sectionHeader(0, first))
        return false;
    const quint64 count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const quint64 namesIndex = header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
    if (count > MaxSections || !Within(header.e_shoff, count * sizeof(Shdr), fileSize) || namesIndex >= count)
        return false;
    Shdr namesSection;
    if (!sectionHeader(namesIndex, namesSection) || namesSection.sh_size > MaxSection
        || !Within(namesSection.sh_offset, namesSection.sh_size, fileSize)
        || !file.seek(static_cast<qint64>(namesSection.sh_offset)))
        return false;
    const QByteArray names = file.read(static_cast<qint64>(namesSection.sh_size));
    if (static_cast<quint64>(names.size()) != namesSection.sh_size)
        return false;
    const QByteArray wanted = QByteArrayLiteral(KRONVIK_VERSION_SECTION);
    for (quint64 index = 1; index < count; ++index) {
        Shdr section;
        if (!sectionHeader(index, section))
            return false;
        if (section.sh_name >= static_cast<quint64>(names.size()) || section.sh_type == SHT_NOBITS)
            continue;
        const char* name = names.constData() + section.sh_name;
        const qsizetype room = names.size() - static_cast<qsizetype>(section.sh_name);
        const qsizetype length = static_cast<qsizetype>(qstrnlen(name, static_cast<uint>(room)));
        if (length == room || QByteArrayView(name, length) != wanted)
            continue;
        if (section.sh_size > MaxSection || !Within(section.sh_offset, section.sh_size, fileSize))
            return false;
        found = { section.sh_offset, section.sh_size };
        return true;
    }
    return false;
}

bool Locate(QFile& file, Section& section)
{
    unsigned char ident[EI_NIDENT];
    if (!file.open(QIODevice::ReadOnly) || file.read(reinterpret_cast<char*>(ident), EI_NIDENT) != EI_NIDENT
        || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return false;
    const unsigned char nativeData = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != nativeData)
        return false;
    if (ident[EI_CLASS] == ELFCLASS64)
        return FindSection<Elf64_Ehdr, Elf64_Shdr>(file, section);
    if (ident[EI_CLASS] == ELFCLASS32)
        return FindSection<Elf32_Ehdr, Elf32_Shdr>(file, section);
    return false;
}

} // namespace

ElfVersionInfo::ElfVersionInfo(QString path)
    : m_path(std::move(path))
{ }

std::uint32_t ElfVersionInfo::Size()
{
    QFile file(m_path);
    Section section;
    return Locate(file, section) ? static_cast<std::uint32_t>(section.size) : 0;
}

bool ElfVersionInfo::Read(QByteArray& data)
{
    data.clear();
    QFile file(m_path);
    Section section;
    if (!Locate(file, section) || !file.seek(static_cast<qint64>(section.offset)))
        return false;
    data = file.read(static_cast<qint64>(section.size));
    if (static_cast<quint64>(data.size()) == section.size)
        return true;
    data.clear();
    return false;
}
