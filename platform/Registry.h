#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// The current user's registry: a tree of keys, each holding named, typed values.
// Keys are backslash paths relative to the current user's root, such as "Kronvik\\Server".
// Key and value names compare case-insensitively and keep the case in which they were first written.
// Every call stands on its own: nothing is cached between calls, because another copy of the program
// or the user may change the store at any moment.
class Registry
{
public:
    // Value types as the registry numbers them; any other number is kept as it is.
    static constexpr std::uint32_t RegSz = 1;
    static constexpr std::uint32_t RegExpandSz = 2;
    static constexpr std::uint32_t RegBinary = 3;
    static constexpr std::uint32_t RegDword = 4;

    enum class Result
    {
        Ok,
        NotFound, // the key or the value does not exist
        Failed // the store could not be read or written, or a name is not allowed; LastError says why
    };

    struct Value
    {
        QString name;
        std::uint32_t type = RegSz;
        QByteArray data;
    };

    virtual ~Registry() = default;

    // Opens the key, creating it and every missing key above it. Ok when the key exists afterwards,
    // else Failed; never NotFound.
    virtual Result CreateKey(const QString& key) = 0;

    // Ok when the key exists, NotFound when it does not, Failed when the store cannot be read.
    virtual Result KeyExists(const QString& key) = 0;

    // The value's type and its whole data. NotFound when the key or the value is missing.
    virtual Result ReadValue(const QString& key, const QString& name, Value& value) = 0;

    // Stores a REG_SZ value holding exactly these bytes (no terminating zero is added). A value of the
    // same name is replaced and keeps its place in the enumeration. NotFound when the key is missing.
    virtual Result WriteText(const QString& key, const QString& name, const QByteArray& data) = 0;

    // Every value of the key, in the order in which the values were created. NotFound when the key
    // is missing; values is left empty unless the result is Ok.
    virtual Result EnumValues(const QString& key, QList<Value>& values) = 0;

    // Deletes the key with every key and value below it. NotFound when it did not exist.
    virtual Result DeleteKey(const QString& key) = 0;

    // What went wrong in the last call that returned Failed, in words for the user (where the store
    // is and why it could not be used); empty before the first failure.
    virtual QString LastError() const = 0;
};
