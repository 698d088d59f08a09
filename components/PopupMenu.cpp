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
    if (OnPopup)
        OnPopup();
    m_menu.exec(QPoint(x, y));
}
