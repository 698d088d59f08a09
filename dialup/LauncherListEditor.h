#pragma once

class FileDialogs;
class QListWidget;
class QPushButton;
struct TOpenDialog;

// The editing of the launcher list on the "Program Launcher" page: a program chosen in the file
// dialog goes to the end of the list, the selected line or all lines go, and the two removing
// buttons are enabled exactly while the list holds something. Every edit marks the list modified.
class LauncherListEditor final
{
public:
    LauncherListEditor(QListWidget& list, QPushButton& removeButton, QPushButton& removeAllButton,
                       FileDialogs& fileDialogs, TOpenDialog& openDialog, bool& listModified);

    // Asks for a file; nothing changes when the user cancels. The same file may be added twice.
    void Include();
    // Removes the selected line and selects the one that took its place, or the new last one.
    void Remove();
    void RemoveAll();

private:
    void EnableRemoving(bool enabled);

    QListWidget& m_list;
    QPushButton& m_removeButton;
    QPushButton& m_removeAllButton;
    FileDialogs& m_fileDialogs;
    TOpenDialog& m_openDialog;
    bool& m_listModified;
};
