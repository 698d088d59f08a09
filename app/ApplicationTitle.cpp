#include "app/ApplicationTitle.h"

#include <QFileInfo>

QString ApplicationTitle(const QString& executablePath)
{
    const QString name = QFileInfo(executablePath).completeBaseName();
    if (name.isEmpty())
        return {};
    return name.left(1) + name.mid(1).toLower();
}
