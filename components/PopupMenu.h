#pragma once

#include <QMenu>
#include <QString>

#include <functional>

class QAction;

// A popup menu that announces its opening before the user sees it, and tracks modally.
class TPopupMenu final
{
public:
    QAction* AddItem(const QString& caption);
    void AddSeparator();

    // Runs OnPopup, then shows the menu at the point and returns when it closes.
    void Popup(int x, int y);
    std::function<void()> OnPopup;

private:
    QMenu m_menu;
};
