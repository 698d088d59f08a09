#include "components/IconList.h"

#include "base/Errors.h"
#include "components/IconFile.h"

#include <QPixmap>
#include <QtEndian>

#include <cstdint>

namespace {

void Need(const QByteArray& data, qsizetype offset, qsizetype length)
{
    if (length < 0 || offset > data.size() || length > data.size() - offset)
        throw EReadError("Stream read error");
}

std::int32_t Int32At(const QByteArray& data, qsizetype offset)
{
    Need(data, offset, 4);
    return qFromLittleEndian<std::int32_t>(data.constData() + offset);
}

} // namespace

void TIconList::Add(const QIcon& icon)
{
    m_items.append(icon);
    Changed();
}

void TIconList::Clear()
{
    m_items.clear();
    Changed();
}

void TIconList::Assign(const TIconList& source)
{
    m_items = source.m_items;
    Changed();
}

void TIconList::EndUpdate()
{
    if (m_updateDepth == 0 || --m_updateDepth > 0 || !m_changedInUpdate)
        return;
    m_changedInUpdate = false;
    Changed();
}

void TIconList::ReadData(const QByteArray& data)
{
    const std::int32_t count = Int32At(data, 0);
    if (count < 0)
        throw EReadError("Stream read error");
    QList<QIcon> items;
    qsizetype offset = 4;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t size = Int32At(data, offset);
        offset += 4;
        if (size <= 0) {
            items.append(QIcon());
            continue;
        }
        Need(data, offset, size);
        const QImage picture = ReadIconFile(data.mid(offset, size));
        offset += size;
        items.append(picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture)));
    }
    m_items = items;
    Changed();
}

void TIconList::Changed()
{
    if (m_updateDepth > 0) {
        m_changedInUpdate = true;
        return;
    }
    if (OnChange)
        OnChange();
}
