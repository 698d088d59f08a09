#include "components/RadioGroup.h"

#include <QGroupBox>
#include <QRadioButton>

TRadioGroup::TRadioGroup(QGroupBox& box, const QList<QRadioButton*>& items)
    : m_items(items)
    , m_group(&box)
{
    for (int i = 0; i < m_items.size(); ++i)
        m_group.addButton(m_items[i], i);
    QObject::connect(&m_group, &QButtonGroup::idClicked, [this](int) {
        if (OnClick)
            OnClick();
    });
}

int TRadioGroup::ItemIndex() const
{
    return m_group.checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    index = std::clamp(index, -1, Count() - 1);
    if (index < 0) {
        // An exclusive group never lets its last checked button go.
        m_group.setExclusive(false);
        for (QRadioButton* item : m_items)
            item->setChecked(false);
        m_group.setExclusive(true);
        return;
    }
    m_items[index]->setChecked(true);
}
