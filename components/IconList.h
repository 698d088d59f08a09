#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>

#include <functional>

// An ordered list of pictures, each possibly empty (a null icon). Every change calls OnChange,
// unless an update bracket is open; closing the outermost bracket calls it once.
class TIconList final
{
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    // Entry `index` (0 … Count() − 1); a null icon for an empty entry.
    const QIcon& Items(int index) const { return m_items.at(index); }

    void Add(const QIcon& icon);
    void Clear();
    // Copies every entry of `source`, as one change.
    void Assign(const TIconList& source);

    void BeginUpdate() { ++m_updateDepth; }
    void EndUpdate();

    // Replaces the entries with those of the stored form: a 32-bit little-endian count, then for
    // each entry a 32-bit little-endian byte size and that many bytes of an icon file (a size of
    // 0 or less: an empty entry; bytes that are no icon this program reads: an empty entry too).
    // Raises EReadError, leaving the list unchanged, when the data is cut short.
    void ReadData(const QByteArray& data);

    std::function<void()> OnChange;

private:
    void Changed();

    QList<QIcon> m_items;
    int m_updateDepth = 0;
    bool m_changedInUpdate = false;
};
