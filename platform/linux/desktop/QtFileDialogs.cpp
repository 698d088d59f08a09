#include "platform/linux/desktop/QtFileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace {

// Folders, programs and desktop entries: what can be started from a list of programs.
class ProgramFilter final : public QSortFilterProxyModel
{
protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files)
            return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable()
            || info.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0;
    }
};

} // namespace

std::optional<QString> QtFileDialogs::Open(const TOpenDialog& dialog)
{
    QFileDialog box(nullptr, dialog.Title);
    // Our own dialog: the platform's native one would ignore the program filter below.
    box.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontResolveSymlinks | QFileDialog::ReadOnly);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setProxyModel(new ProgramFilter);
    box.setNameFilter(dialog.Filter.section(QLatin1Char('|'), 0, 0) + QStringLiteral(" (*)"));
    if (!dialog.InitialDir.isEmpty())
        box.setDirectory(dialog.InitialDir);
    if (!dialog.FileName.isEmpty())
        box.selectFile(dialog.FileName);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return std::nullopt;
    return box.selectedFiles().constFirst();
}
