#include "platform/linux/desktop/QtFileDialogs.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The toolkit's open-file dialog as the launcher page opens it: what it offers in a folder, and
// what it hands back for the file chosen.
class FileDialogTest final : public QObject
{
    Q_OBJECT

private slots:
    void offersProgramsAndShortcutsAndReturnsTheirOwnPath();
};

void FileDialogTest::offersProgramsAndShortcutsAndReturnsTheirOwnPath()
{
    QTemporaryDir dir;
    auto make = [&dir](const QString& name, QFile::Permissions permissions) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        QVERIFY(file.setPermissions(permissions));
    };
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;
    make("program", readable | QFile::ExeOwner);
    make("Shortcut.DESKTOP", readable);
    make("notes.txt", readable);
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QVERIFY(QFile::link(dir.filePath("program"), dir.filePath("link to program")));

    QStringList offered;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(dialog->proxyModel());
        const auto* files = proxy ? qobject_cast<const QFileSystemModel*>(proxy->sourceModel()) : nullptr;
        if (files) {
            // The folder is read by a worker thread: wait until its entries are in.
            auto folder = [&] { return proxy->mapFromSource(files->index(dir.path())); };
            [[maybe_unused]] const bool loaded
                = QTest::qWaitFor([&] { return folder().isValid() && proxy->rowCount(folder()) >= 4; }, 5000);
            QTest::qWait(200); // anything the filter would wrongly let through arrives as well
            for (int row = 0; row < proxy->rowCount(folder()); ++row)
                offered.append(proxy->index(row, 0, folder()).data().toString());
        }
        // The user types the name, as into the dialog's own field.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QStringLiteral("link to program"));
        // Accept as the dialog's own button does, through the dialog's own check of the choice.
        static_cast<QDialog*>(dialog)->accept();
        // A choice the dialog refused would leave it up: the test ends it rather than wait.
        if (dialog->isVisible())
            dialog->reject();
    });

    QtFileDialogs dialogs;
    const std::optional<QString> chosen
        = dialogs.Open({ QStringLiteral("Kronvik - Select file to launch"),
                         QStringLiteral("Executable Files|*;*.desktop"), dir.path(), QString() });

    QCOMPARE(title, QStringLiteral("Kronvik - Select file to launch"));
    offered.sort();
    QCOMPARE(offered, (QStringList { "Shortcut.DESKTOP", "folder", "link to program", "program" }));
    QCOMPARE(chosen, std::optional<QString>(dir.filePath("link to program")));
}

QTEST_MAIN(FileDialogTest)
#include "FileDialogTest.moc"
