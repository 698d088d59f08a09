#include "platform/linux/XdgDesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

bool XdgDesktopShell::Open(const QString& target)
{
    const QFileInfo file(target);
    if (file.isFile() && file.isExecutable() && !target.endsWith(QLatin1String(".desktop")))
        return QProcess::startDetached(file.absoluteFilePath(), {}, file.absolutePath());
    const QUrl url = file.exists() ? QUrl::fromLocalFile(file.absoluteFilePath()) : QUrl(target);
    return url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
}
