#pragma once

#include <QButtonGroup>
#include <QList>

#include <functional>

class QGroupBox;
class QRadioButton;

// A group box of radio buttons addressed by item index, −1 meaning none selected.
class TRadioGroup final
{
public:
    TRadioGroup(QGroupBox& box, const QList<QRadioButton*>& items);

    int ItemIndex() const;
    // Out-of-range indexes take the nearest valid one: below −1 is −1, above the last is the last.
    void SetItemIndex(int index);
    int Count() const { return static_cast<int>(m_items.size()); }

    // The user picked an item.
    std::function<void()> OnClick;

private:
    QList<QRadioButton*> m_items;
    QButtonGroup m_group;
};
