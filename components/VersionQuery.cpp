#include "components/VersionQuery.h"

#include <QList>

std::optional<QString> VersionQueryValue(const QByteArray& block, const QString& path)
{
    const qsizetype split = path.lastIndexOf(QLatin1Char('\\'));
    if (!path.startsWith(QLatin1Char('\\')) || split <= 0)
        return std::nullopt;
    const QString table = path.left(split);
    const QString name = path.mid(split + 1);
    const qsizetype end = block.indexOf('\0');
    bool inTable = false;
    for (QByteArray line : (end < 0 ? block : block.left(end)).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']'))) {
            inTable = text.mid(1, text.size() - 2).compare(table, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (inTable && equals > 0 && text.left(equals).compare(name, Qt::CaseInsensitive) == 0)
            return text.mid(equals + 1);
    }
    return std::nullopt;
}
