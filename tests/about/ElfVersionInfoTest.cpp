#include "platform/linux/version/ElfVersionInfo.h"

#include "components/VersionQuery.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <elf.h>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Write(const QTemporaryDir& dir, const char* name, const QByteArray& data)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return {};
    return path;
}

} // namespace

// The version block as the program finds it in its own file, and files that hold none.
class ElfVersionInfoTest final : public QObject
{
    Q_OBJECT

private slots:
    void versionBlock_data();
    void versionBlock();
};

void ElfVersionInfoTest::versionBlock_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fileVersion"); // empty: no version block

    static QTemporaryDir dir;
    const QByteArray program = ReadAll(QStringLiteral(KRONVIK_EXECUTABLE));
    QVERIFY(program.size() > 4096);
    QTest::newRow("the program") << QStringLiteral(KRONVIK_EXECUTABLE) << "3.0.3.0";
    QTest::newRow("a program without one (this test)") << QStringLiteral("/proc/self/exe") << "";
    QTest::newRow("not a program") << Write(dir, "text", "just some text") << "";
    QTest::newRow("the program cut short") << Write(dir, "cut", program.left(program.size() / 2)) << "";
    QByteArray farHeaders = program;
    const quint64 far = ~quint64(0) - 16;
    farHeaders.replace(offsetof(Elf64_Ehdr, e_shoff), sizeof far, reinterpret_cast<const char*>(&far), sizeof far);
    QTest::newRow("section headers past the end") << Write(dir, "far", farHeaders) << "";
    QTest::newRow("no such file") << dir.filePath("missing") << "";
}

void ElfVersionInfoTest::versionBlock()
{
    QFETCH(QString, path);
    QFETCH(QString, fileVersion);

    ElfVersionInfo version(path);
    QByteArray block = "left over";
    const bool read = version.Read(block);
    QCOMPARE(read, !fileVersion.isEmpty());
    QCOMPARE(version.Size(), static_cast<std::uint32_t>(block.size()));
    if (fileVersion.isEmpty()) {
        QVERIFY(block.isEmpty());
        return;
    }
    QCOMPARE(VersionQueryValue(block, "\\StringFileInfo\\041604E4\\FileVersion"), std::optional(fileVersion));
    QCOMPARE(VersionQueryValue(block, "\\StringFileInfo\\041604E4\\InternalName"), std::optional(QString("Kronvik!")));
}

QTEST_GUILESS_MAIN(ElfVersionInfoTest)
#include "ElfVersionInfoTest.moc"
