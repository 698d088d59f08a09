#include "components/PopupMenu.h"

QAction* TPopupMenu::AddItem(const QString& caption)
{
    return m_menu.addAction(caption);
}

void TPopupMenu::AddSeparator()
{
    m_menu.addSeparator();
}

void TPopupMenu::Popup(int x, int y)
{
    NotifyPopup();
    m_menu.exec(QPoint(x, y));
}

QStringList TPopupMenu::Entries() const
{
    QStringList entries;
    for (const QAction* action : m_menu.actions())
        entries << (action->isSeparator() ? QString() : action->text());
    return entries;
}

void TPopupMenu::NotifyPopup()
{
    if (OnPopup)
        OnPopup();
}

void TPopupMenu::Choose(int index)
{
    const QList<QAction*> actions = m_menu.actions();
    if (index < 0 || index >= actions.size() || actions[index]->isSeparator())
        return;
    actions[index]->trigger();
}
