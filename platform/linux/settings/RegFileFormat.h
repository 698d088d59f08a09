#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The registry export format ("REGEDIT4") as the file store keeps it. A quoted "text" holds exactly
// its bytes, without the terminating zero of the exports made on Windows; anything that does not fit
// between quotes is written as hex data of its type, so every value survives a rewrite unchanged.
// Comment lines (";") stay attached to the key or value that follows them.
// Names are read as UTF-8, or byte for byte as Latin-1 where they are not UTF-8 (a file edited in
// an older code page), and are written back exactly as they were read.

struct RegFileValue
{
    QList<QByteArray> comments;
    Registry::Value value;
    QByteArray rawName; // the name's bytes in the file; empty for the default value "@"
};

struct RegFileKey
{
    QList<QByteArray> comments;
    QString path; // full path with its root, as in the file: "HKEY_CURRENT_USER\\Kronvik"
    QList<RegFileValue> values;
    QByteArray rawPath; // the path's bytes in the file
};

// A key or value made by the program: its name is written as UTF-8.
RegFileKey NewRegKey(const QString& path);
RegFileValue NewRegValue(const QString& name, std::uint32_t type, const QByteArray& data);

struct RegFileDocument
{
    QList<RegFileKey> keys;
    QList<QByteArray> trailingComments;
};

// Reads a whole file, in time linear in its size. An empty file is an empty document. On failure
// returns false and says in error which line could not be understood, and why.
bool ParseRegFile(const QByteArray& bytes, RegFileDocument& document, QString& error);

QByteArray FormatRegFile(const RegFileDocument& document);

// Whether a name can be written to the file and read back unchanged.
bool IsWritableRegName(const QString& name);

// Look-ups by case-insensitive name; nullptr when missing. The pointers live until the lists change.
RegFileKey* FindRegKey(RegFileDocument& document, const QString& path);
RegFileValue* FindRegValue(RegFileKey& key, const QString& name);
