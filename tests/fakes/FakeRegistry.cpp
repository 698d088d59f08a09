#include "tests/fakes/FakeRegistry.h"

namespace {

bool IsAtOrBelow(const QString& path, const QString& key)
{
    return path.compare(key, Qt::CaseInsensitive) == 0
        || (path.size() > key.size() && path[key.size()] == QLatin1Char('\\')
            && path.startsWith(key, Qt::CaseInsensitive));
}

} // namespace

Registry::Result FakeRegistry::CreateKey(const QString& key)
{
    if (m_failCreate.contains(key.toLower()))
        return Fail(QStringLiteral("creating %1 refused").arg(key));
    EnsureKey(key);
    return Result::Ok;
}

Registry::Result FakeRegistry::KeyExists(const QString& key)
{
    if (m_failReads)
        return Fail(QStringLiteral("reading refused"));
    return HasKey(key) ? Result::Ok : Result::NotFound;
}

Registry::Result FakeRegistry::ReadValue(const QString& key, const QString& name, Value& value)
{
    if (m_failReads)
        return Fail(QStringLiteral("reading refused"));
    const qsizetype index = FindKey(key);
    if (index < 0)
        return Result::NotFound;
    for (const Value& stored : m_keys[index].values) {
        if (stored.name.compare(name, Qt::CaseInsensitive) == 0) {
            value = stored;
            return Result::Ok;
        }
    }
    return Result::NotFound;
}

Registry::Result FakeRegistry::WriteText(const QString& key, const QString& name, const QByteArray& data)
{
    if (m_failWrites)
        return Fail(QStringLiteral("writing refused"));
    const qsizetype index = FindKey(key);
    if (index < 0)
        return Result::NotFound;
    Store(m_keys[index], name, RegSz, data);
    m_writes.append({ m_keys[index].path, name, data });
    return Result::Ok;
}

Registry::Result FakeRegistry::EnumValues(const QString& key, QList<Value>& values)
{
    values.clear();
    if (m_failReads)
        return Fail(QStringLiteral("reading refused"));
    const qsizetype index = FindKey(key);
    if (index < 0)
        return Result::NotFound;
    values = m_keys[index].values;
    return Result::Ok;
}

Registry::Result FakeRegistry::DeleteKey(const QString& key)
{
    if (m_failDeletes)
        return Fail(QStringLiteral("deleting refused"));
    const auto removed = m_keys.removeIf([&key](const Key& stored) { return IsAtOrBelow(stored.path, key); });
    return removed > 0 ? Result::Ok : Result::NotFound;
}

void FakeRegistry::SetValue(const QString& key, const QString& name, std::uint32_t type, const QByteArray& data)
{
    Store(EnsureKey(key), name, type, data);
}

QStringList FakeRegistry::Keys() const
{
    QStringList paths;
    for (const Key& key : m_keys)
        paths.append(key.path);
    return paths;
}

qsizetype FakeRegistry::FindKey(const QString& key) const
{
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].path.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

FakeRegistry::Key& FakeRegistry::EnsureKey(const QString& key)
{
    QString path;
    for (const QString& segment : key.split(QLatin1Char('\\'))) {
        path += (path.isEmpty() ? QString() : QStringLiteral("\\")) + segment;
        if (FindKey(path) < 0)
            m_keys.append({ path, {} });
    }
    return m_keys[FindKey(key)];
}

void FakeRegistry::Store(Key& target, const QString& name, std::uint32_t type, const QByteArray& data)
{
    for (Value& stored : target.values) {
        if (stored.name.compare(name, Qt::CaseInsensitive) == 0) {
            stored.type = type;
            stored.data = data;
            return;
        }
    }
    target.values.append({ name, type, data });
}

Registry::Result FakeRegistry::Fail(const QString& why)
{
    m_lastError = why;
    return Result::Failed;
}
