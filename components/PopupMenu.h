#pragma once

#include <QMenu>
#include <QString>
#include <QStringList>

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

    // For a desktop that draws the menu itself: the entries in order, each a caption or an empty
    // text for a separator; the announcement of its opening (OnPopup, as Popup runs it); and the
    // choice of entry `index`, which runs that item (a separator or an unknown index, nothing).
    QStringList Entries() const;
    void NotifyPopup();
    void Choose(int index);

private:
    QMenu m_menu;
};
