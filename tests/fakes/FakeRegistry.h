#pragma once

#include "platform/Registry.h"

#include <QSet>
#include <QStringList>

// An in-memory registry that records what was written and can be told to fail.
class FakeRegistry final : public Registry
{
public:
    struct Write
    {
        QString key;
        QString name;
        QByteArray data;
    };

    Result CreateKey(const QString& key) override;
    Result KeyExists(const QString& key) override;
    Result ReadValue(const QString& key, const QString& name, Value& value) override;
    Result WriteText(const QString& key, const QString& name, const QByteArray& data) override;
    Result EnumValues(const QString& key, QList<Value>& values) override;
    Result DeleteKey(const QString& key) override;
    QString LastError() const override { return m_lastError; }

    // Creating this key (case-insensitive) fails, whether it exists or not.
    void FailCreateKey(const QString& key) { m_failCreate.insert(key.toLower()); }
    void SetFailWrites(bool fail) { m_failWrites = fail; }
    // Reads of values and enumerations fail.
    void SetFailReads(bool fail) { m_failReads = fail; }
    void SetFailDeletes(bool fail) { m_failDeletes = fail; }

    // Puts a value of any type in place, creating its key; not recorded as a write.
    void SetValue(const QString& key, const QString& name, std::uint32_t type, const QByteArray& data);
    bool HasKey(const QString& key) const { return FindKey(key) >= 0; }
    // The keys as stored, in the case in which they were first created.
    QStringList Keys() const;
    const QList<Write>& Writes() const { return m_writes; }

private:
    struct Key
    {
        QString path;
        QList<Value> values;
    };

    qsizetype FindKey(const QString& key) const;
    Key& EnsureKey(const QString& key);
    void Store(Key& target, const QString& name, std::uint32_t type, const QByteArray& data);
    Result Fail(const QString& why);

    QList<Key> m_keys;
    QList<Write> m_writes;
    QSet<QString> m_failCreate;
    bool m_failWrites = false;
    bool m_failReads = false;
    bool m_failDeletes = false;
    QString m_lastError;
};
