#include "platform/linux/settings/FileRegistry.h"

#include "platform/linux/FdGuard.h"
#include "platform/linux/settings/RegFileFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Root = QStringLiteral("HKEY_CURRENT_USER\\");

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool IsValidKey(const QString& key)
{
    const QStringList segments = key.split(QLatin1Char('\\'));
    for (const QString& segment : segments) {
        if (segment.isEmpty() || !IsWritableRegName(segment))
            return false;
    }
    return true;
}

bool StartsWithPath(const QString& path, const QString& ancestor)
{
    return path.size() > ancestor.size() && path[ancestor.size()] == QLatin1Char('\\')
        && path.startsWith(ancestor, Qt::CaseInsensitive);
}

// A key exists when it has its own header, or when a key below it has one.
bool Exists(const RegFileDocument& document, const QString& path)
{
    for (const RegFileKey& key : document.keys) {
        if (key.path.compare(path, Qt::CaseInsensitive) == 0 || StartsWithPath(key.path, path))
            return true;
    }
    return false;
}

// Gives the key, and every key above it below the root, a header of its own. A new key below one
// read from the file keeps that key's own bytes in its path.
RegFileKey& EnsureKey(RegFileDocument& document, const QString& relativeKey)
{
    QString path = Root.chopped(1);
    QByteArray rawPath = path.toUtf8();
    RegFileKey* key = nullptr;
    for (const QString& segment : relativeKey.split(QLatin1Char('\\'))) {
        path += QLatin1Char('\\') + segment;
        key = FindRegKey(document, path);
        if (!key) {
            RegFileKey added = NewRegKey(path);
            added.rawPath = rawPath + '\\' + segment.toUtf8();
            key = &document.keys.emplace_back(added);
        }
        rawPath = key->rawPath;
    }
    return *key;
}

bool MakeFolder(const QString& folder)
{
    QString path;
    for (const QString& segment : QDir::cleanPath(folder).split(QLatin1Char('/'))) {
        path += segment + QLatin1Char('/');
        struct stat info
        { };
        if (segment.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) == 0)
            continue;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

QString TemporaryPrefix(const QFileInfo& file)
{
    return QLatin1Char('.') + file.fileName() + QLatin1Char('.');
}

// A writer that was killed leaves its temporary file behind; the next writer removes those whose
// process is gone, so at most one per living process can remain.
void RemoveStaleTemporaries(const QFileInfo& file)
{
    const QString prefix = TemporaryPrefix(file);
    const QDir folder = file.absoluteDir();
    const QStringList names
        = folder.entryList({ prefix + QStringLiteral("*.tmp") }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        bool ok = false;
        const pid_t pid = name.mid(prefix.size()).chopped(4).toInt(&ok);
        if (ok && pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
            ::unlink(QFile::encodeName(folder.filePath(name)).constData());
    }
}

} // namespace

FileRegistry::FileRegistry(QString path)
    : m_path(std::move(path))
{ }

Registry::Result FileRegistry::CreateKey(const QString& key)
{
    if (!IsValidKey(key))
        return Fail(QStringLiteral("\"%1\" is not a valid key name.").arg(key));
    return Modify([&key](RegFileDocument& document, bool& changed) {
        if (!Exists(document, Root + key)) {
            EnsureKey(document, key);
            changed = true;
        }
        return Result::Ok;
    });
}

Registry::Result FileRegistry::KeyExists(const QString& key)
{
    RegFileDocument document;
    if (Load(document) != Result::Ok)
        return Result::Failed;
    return Exists(document, Root + key) ? Result::Ok : Result::NotFound;
}

Registry::Result FileRegistry::ReadValue(const QString& key, const QString& name, Value& value)
{
    RegFileDocument document;
    if (Load(document) != Result::Ok)
        return Result::Failed;
    RegFileKey* found = FindRegKey(document, Root + key);
    const RegFileValue* stored = found ? FindRegValue(*found, name) : nullptr;
    if (!stored)
        return Result::NotFound;
    value = stored->value;
    return Result::Ok;
}

Registry::Result FileRegistry::WriteText(const QString& key, const QString& name, const QByteArray& data)
{
    if (!IsValidKey(key) || !IsWritableRegName(name))
        return Fail(QStringLiteral("\"%1\" in \"%2\" is not a valid value name.").arg(name, key));
    return Modify([&](RegFileDocument& document, bool& changed) {
        if (!Exists(document, Root + key))
            return Result::NotFound;
        RegFileKey& target = EnsureKey(document, key);
        if (RegFileValue* stored = FindRegValue(target, name)) {
            changed = stored->value.type != RegSz || stored->value.data != data;
            stored->value.type = RegSz;
            stored->value.data = data;
        } else {
            target.values.append(NewRegValue(name, RegSz, data));
            changed = true;
        }
        return Result::Ok;
    });
}

Registry::Result FileRegistry::EnumValues(const QString& key, QList<Value>& values)
{
    values.clear();
    RegFileDocument document;
    if (Load(document) != Result::Ok)
        return Result::Failed;
    if (!Exists(document, Root + key))
        return Result::NotFound;
    if (const RegFileKey* found = FindRegKey(document, Root + key)) {
        for (const RegFileValue& value : found->values)
            values.append(value.value);
    }
    return Result::Ok;
}

Registry::Result FileRegistry::DeleteKey(const QString& key)
{
    if (!IsValidKey(key))
        return Fail(QStringLiteral("\"%1\" is not a valid key name.").arg(key));
    return Modify([&key](RegFileDocument& document, bool& changed) {
        const QString path = Root + key;
        changed = document.keys.removeIf([&path](const RegFileKey& stored) {
            return stored.path.compare(path, Qt::CaseInsensitive) == 0 || StartsWithPath(stored.path, path);
        }) > 0;
        return changed ? Result::Ok : Result::NotFound;
    });
}

Registry::Result FileRegistry::Load(RegFileDocument& document)
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(m_path)) {
            document = {};
            return Result::Ok;
        }
        return Fail(QStringLiteral("The settings file %1 cannot be read: %2.").arg(m_path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Fail(QStringLiteral("The settings file %1 cannot be read: %2.").arg(m_path, file.errorString()));
    QString why;
    if (!ParseRegFile(bytes, document, why))
        return Fail(QStringLiteral("The settings file %1 cannot be read, %2. The file was left untouched, so that you "
                                   "can repair it or move it away (Kronvik then starts with fresh settings).")
                        .arg(m_path, why));
    return Result::Ok;
}

Registry::Result FileRegistry::Modify(const Change& change)
{
    const QString folderPath = QFileInfo(m_path).absolutePath();
    if (!MakeFolder(folderPath))
        return Fail(QStringLiteral("The folder %1 cannot be created: %2.").arg(folderPath, SystemError()));
    const FdGuard folder(::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0)
        return Fail(QStringLiteral("The folder %1 cannot be opened: %2.").arg(folderPath, SystemError()));
    // Keeps two writers from losing each other's changes; the lock ends with the descriptor.
    while (::flock(folder.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return Fail(QStringLiteral("The folder %1 cannot be locked: %2.").arg(folderPath, SystemError()));
    }

    RegFileDocument document;
    if (Load(document) != Result::Ok)
        return Result::Failed;
    bool changed = false;
    const Result result = change(document, changed);
    if (changed && !WriteAtomically(folder.Get(), document))
        return Result::Failed;
    return result;
}

bool FileRegistry::WriteAtomically(int folder, const RegFileDocument& document)
{
    const QFileInfo file(m_path);
    RemoveStaleTemporaries(file);
    const QByteArray temporary = QFile::encodeName(
        file.absoluteDir().filePath(TemporaryPrefix(file) + QString::number(::getpid()) + QStringLiteral(".tmp")));
    const QByteArray target = QFile::encodeName(file.absoluteFilePath());

    FdGuard fd(::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    bool ok = fd.Get() >= 0 && ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), FormatRegFile(document))
        && ::fsync(fd.Get()) == 0;
    ok = (fd.Get() >= 0 && ::close(fd.Release()) == 0) && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    const QString why = SystemError();
    if (!ok) {
        ::unlink(temporary.constData());
        Fail(QStringLiteral("The settings file %1 cannot be written: %2.").arg(m_path, why));
        return false;
    }
    // Makes the rename itself survive a power cut.
    ::fsync(folder);
    return true;
}

Registry::Result FileRegistry::Fail(const QString& why)
{
    m_lastError = why;
    return Result::Failed;
}

QString DefaultRegistryPath(const QString& xdgConfigHome, const QString& home)
{
    const QString base = QDir::isAbsolutePath(xdgConfigHome) ? xdgConfigHome : home + QStringLiteral("/.config");
    return base + QStringLiteral("/kronvik/user.reg");
}
