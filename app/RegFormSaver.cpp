#include "app/RegFormSaver.h"

#include "app/Errors.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// The store's own sentence comes first; where the store knows more (which file, which line, what
// is wrong with it), that follows, so that the user can mend it.
[[noreturn]] void Raise(const char* format, const QString& name, const QString& why = QString())
{
    QString text = QString::fromLatin1(format).arg(name);
    if (!why.isEmpty())
        text += QStringLiteral(".\r\n\r\n") + why;
    throw ERegistryException(text.toStdString());
}

bool IsText(std::uint32_t type)
{
    return type == Registry::RegSz || type == Registry::RegExpandSz;
}

QString TextOf(const QByteArray& data)
{
    const qsizetype end = data.indexOf('\0');
    return QString::fromUtf8(end < 0 ? data : data.left(end));
}

} // namespace

TRegFormSaver::TRegFormSaver(Registry& registry)
    : m_registry(registry)
{ }

void TRegFormSaver::PutText(const QString& section, const QString& name, const QString& text)
{
    PutBytes(section, name, text.toUtf8());
}

void TRegFormSaver::PutNumber(const QString& section, const QString& name, int value)
{
    PutText(section, name, QString::number(value));
}

void TRegFormSaver::PutBytes(const QString& section, const QString& name, const QByteArray& data)
{
    const QString path = SectionPath(section);
    if (const Registry::Result created = m_registry.CreateKey(path); created != Registry::Result::Ok)
        Raise("Failed to create key %1", section, WhyFailed(created));
    if (const Registry::Result written = m_registry.WriteText(path, name, data); written != Registry::Result::Ok)
        Raise("Failed to set data for '%1'", name, WhyFailed(written));
}

QString TRegFormSaver::FetchText(const QString& section, const QString& name, const QString& defaultText)
{
    QByteArray data;
    return FetchData(section, name, data) ? TextOf(data) : defaultText;
}

int TRegFormSaver::FetchNumber(const QString& section, const QString& name, int defaultValue)
{
    QByteArray data;
    return FetchData(section, name, data) ? StoredTextToInt(TextOf(data), defaultValue) : defaultValue;
}

QByteArray TRegFormSaver::FetchBytes(const QString& section, const QString& name, const QByteArray& defaultData)
{
    QByteArray data;
    return FetchData(section, name, data) ? data : defaultData;
}

void TRegFormSaver::FetchSectionTexts(const QString& section, QStringList& target, bool valuesOnly)
{
    QList<Registry::Value> values;
    const Registry::Result result = m_registry.EnumValues(SectionPath(section), values);
    if (result == Registry::Result::Failed)
        Raise("Failed to get data for '%1'", section, m_registry.LastError());
    QStringList lines;
    for (const Registry::Value& value : values) {
        if (!IsText(value.type))
            Raise("Invalid data type for '%1'", value.name);
        const QString text = TextOf(value.data);
        // Taking the text itself rather than cutting "name=text" at its first "=" keeps it whole
        // when a name written by other means holds an "=".
        if (!text.isEmpty())
            lines.append(valuesOnly ? text : value.name + QLatin1Char('=') + text);
    }
    target = lines;
}

void TRegFormSaver::DropSection(const QString& section)
{
    // A failed delete would let the next writes mix the old section's values with the new ones.
    if (m_registry.DeleteKey(SectionPath(section)) == Registry::Result::Failed)
        Raise("Failed to set data for '%1'", section, m_registry.LastError());
}

QString TRegFormSaver::WhyFailed(Registry::Result result) const
{
    return result == Registry::Result::Failed ? m_registry.LastError() : QString();
}

QString TRegFormSaver::OpenStore()
{
    QString key = StoreKeyName(m_iniFileName);
    if (key.isEmpty())
        key = StoreKeyName(QCoreApplication::applicationFilePath());
    if (const Registry::Result created = m_registry.CreateKey(key); created != Registry::Result::Ok)
        Raise("Failed to create key %1", key, WhyFailed(created));
    return key;
}

QString TRegFormSaver::SectionPath(const QString& section)
{
    return OpenStore() + QLatin1Char('\\') + section;
}

bool TRegFormSaver::FetchData(const QString& section, const QString& name, QByteArray& data)
{
    Registry::Value value;
    switch (m_registry.ReadValue(SectionPath(section), name, value)) {
    case Registry::Result::NotFound:
        return false;
    case Registry::Result::Failed:
        Raise("Failed to get data for '%1'", name, m_registry.LastError());
    case Registry::Result::Ok:
        break;
    }
    if (!IsText(value.type))
        Raise("Invalid data type for '%1'", name);
    data = value.data;
    return true;
}

QString StoreKeyName(const QString& iniFileName)
{
    const qsizetype slash
        = std::max(iniFileName.lastIndexOf(QLatin1Char('/')), iniFileName.lastIndexOf(QLatin1Char('\\')));
    const QString file = iniFileName.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? file : file.left(dot);
}

int StoredTextToInt(const QString& text, int defaultValue)
{
    const bool hex = text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")));
    qsizetype pos = hex ? 2 : 0;
    bool negative = false;
    if (!hex && pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+')))
        negative = text[pos++] == QLatin1Char('-');
    if (pos == text.size())
        return defaultValue;
    const std::int64_t base = hex ? 16 : 10;
    const std::int64_t limit = hex ? 0xFFFFFFFF : std::int64_t { std::numeric_limits<int>::max() } + (negative ? 1 : 0);
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t c = text[pos].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return defaultValue;
        value = value * base + digit;
        if (value > limit)
            return defaultValue;
    }
    if (hex)
        return static_cast<int>(static_cast<std::uint32_t>(value));
    return static_cast<int>(negative ? -value : value);
}
