#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The registry export format ("REGEDIT4") as the file store keeps it. A quoted "text" holds exactly
// its bytes, without the terminating zero of the exports made on Windows; anything that does not fit
// between quotes is written as hex data of its type, so every value survives a rewrite unchanged.
// Comment lines (";") stay attached to the key or value that follows them.

struct RegFileValue
{
    QList<QByteArray> comments;
    Registry::Value value;
};

struct RegFileKey
{
    QList<QByteArray> comments;
    QString path; // full path with its root, as in the file: "HKEY_CURRENT_USER\\Kronvik"
    QList<RegFileValue> values;
};

struct RegFileDocument
{
    QList<RegFileKey> keys;
    QList<QByteArray> trailingComments;
};

// Reads a whole file. An empty file is an empty document. On failure returns false and says in
// error which line could not be understood.
bool ParseRegFile(const QByteArray& bytes, RegFileDocument& document, QString& error);

QByteArray FormatRegFile(const RegFileDocument& document);

// Whether a name can be written to the file and read back unchanged.
bool IsWritableRegName(const QString& name);

// Look-ups by case-insensitive name; nullptr when missing. The pointers live until the lists change.
RegFileKey* FindRegKey(RegFileDocument& document, const QString& path);
RegFileValue* FindRegValue(RegFileKey& key, const QString& name);
