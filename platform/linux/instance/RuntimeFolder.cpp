#include "platform/linux/instance/RuntimeFolder.h"

#include "platform/linux/instance/LocalSingleInstance.h"

#include <QDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsPrivateFolder(const QByteArray& path)
{
    struct stat info
    { };
    return lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid()
        && (info.st_mode & 077) == 0;
}

// Creates the folder when missing; empty when it then is not safely ours.
QString PrivateFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return IsPrivateFolder(path) ? folder : QString();
}

} // namespace

QString PrivateRuntimeFolder(const QString& xdgRuntimeDir, const QString& tempDir)
{
    const QString runtimeFolder = QDir(xdgRuntimeDir).filePath(QStringLiteral("kronvik"));
    // A folder too deep for a socket address could hold the lock but not the hand-over channel.
    if (QDir::isAbsolutePath(xdgRuntimeDir) && LocalSingleInstance::HoldsSockets(runtimeFolder)) {
        QString folder = PrivateFolder(runtimeFolder);
        if (!folder.isEmpty())
            return folder;
    }
    // Without a usable runtime folder of the session the files go below the temporary folder,
    // which every user shares: a folder of that name made by someone else must not be used.
    return PrivateFolder(QDir(tempDir).filePath(QStringLiteral("kronvik-%1").arg(geteuid())));
}
