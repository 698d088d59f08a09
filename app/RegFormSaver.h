#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The settings operations of the form saver: one key below the current user's root, named after
// IniFileName, with one section (subkey) per group of settings. Every operation opens the store,
// performs one access and keeps nothing, so changes made by others are always seen.
// Failures raise ERegistryException; a missing section or value gives the default.
class TRegFormSaver final
{
public:
    explicit TRegFormSaver(Registry& registry);

    QString IniFileName() const { return m_iniFileName; }
    void SetIniFileName(const QString& iniFileName) { m_iniFileName = iniFileName; }

    void PutText(const QString& section, const QString& name, const QString& text);
    void PutNumber(const QString& section, const QString& name, int value);
    // Stores the bytes exactly as given, zero bytes, line breaks and quotes included.
    void PutBytes(const QString& section, const QString& name, const QByteArray& data);

    // The text ends at the first zero byte of the stored data.
    QString FetchText(const QString& section, const QString& name, const QString& defaultText);
    int FetchNumber(const QString& section, const QString& name, int defaultValue);
    // The whole stored data, zero bytes included.
    QByteArray FetchBytes(const QString& section, const QString& name, const QByteArray& defaultData);
    // Replaces target's lines (only when the whole section could be read) with "name=text" for every value of the
    // section, in the store's order, leaving out values with empty text; with valuesOnly, each line is just the text.
    void FetchSectionTexts(const QString& section, QStringList& target, bool valuesOnly);

    void DropSection(const QString& section);

private:
    // What the store says about a failure; empty for results that are no failure of the store.
    QString WhyFailed(Registry::Result result) const;
    // Opens (and creates when missing) the key and returns its path.
    QString OpenStore();
    QString SectionPath(const QString& section);
    // The data of a text value; false when the section or the value is missing.
    bool FetchData(const QString& section, const QString& name, QByteArray& data);

    Registry& m_registry;
    QString m_iniFileName = QStringLiteral("Kronvik");
};

// The key's name: the file name without folder (either slash) and extension; empty when that
// leaves nothing, and then the store takes the executable's name instead.
QString StoreKeyName(const QString& iniFileName);

// A stored integer: decimal with an optional sign, or hexadecimal after "0x"/"0X" (32 bits, read as
// two's complement); anything else, blanks and values outside 32 bits included, gives defaultValue.
int StoredTextToInt(const QString& text, int defaultValue);
