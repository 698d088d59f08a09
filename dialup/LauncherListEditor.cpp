#include "dialup/LauncherListEditor.h"

#include "platform/FileDialogs.h"

#include <QListWidget>
#include <QPushButton>

LauncherListEditor::LauncherListEditor(QListWidget& list, QPushButton& removeButton, QPushButton& removeAllButton,
                                       FileDialogs& fileDialogs, TOpenDialog& openDialog, bool& listModified)
    : m_list(list)
    , m_removeButton(removeButton)
    , m_removeAllButton(removeAllButton)
    , m_fileDialogs(fileDialogs)
    , m_openDialog(openDialog)
    , m_listModified(listModified)
{ }

void LauncherListEditor::Include()
{
    m_openDialog.FileName.clear();
    const std::optional<QString> chosen = m_fileDialogs.Open(m_openDialog);
    if (!chosen)
        return;
    // The next time the dialog opens where the user chose this file.
    m_openDialog.InitialDir.clear();
    m_list.addItem(*chosen);
    m_list.setCurrentRow(m_list.count() - 1);
    m_list.setFocus();
    EnableRemoving(true);
    m_listModified = true;
}

void LauncherListEditor::Remove()
{
    int row = m_list.currentRow();
    // Nothing selected (the user may clear the selection): nothing to remove.
    if (row < 0)
        return;
    delete m_list.takeItem(row);
    if (m_list.count() == 0)
        EnableRemoving(false);
    else if (row >= m_list.count())
        row = m_list.count() - 1;
    m_list.setCurrentRow(row);
    m_list.setFocus();
    m_listModified = true;
}

void LauncherListEditor::RemoveAll()
{
    m_list.clear();
    EnableRemoving(false);
    m_list.setFocus();
    m_listModified = true;
}

void LauncherListEditor::EnableRemoving(bool enabled)
{
    m_removeButton.setEnabled(enabled);
    m_removeAllButton.setEnabled(enabled);
}
