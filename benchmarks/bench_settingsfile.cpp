// Reading the settings file when it has grown large by hand or by another program: 50 000 values
// in one key, and 50 000 keys of one value each. Prints the time to read the whole file once and
// the time of one store call (which reads the file afresh) on it.
#include "platform/linux/settings/FileRegistry.h"
#include "platform/linux/settings/RegFileFormat.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Count = 50000;

QByteArray ManyValues()
{
    QByteArray file = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Many]\n";
    for (int i = 0; i < Count; ++i)
        file += "\"Value" + QByteArray::number(i) + "\"=\"text " + QByteArray::number(i) + "\"\n";
    return file;
}

QByteArray ManyKeys()
{
    QByteArray file = "REGEDIT4\n";
    for (int i = 0; i < Count; ++i)
        file += "\n[HKEY_CURRENT_USER\\Kronvik\\Key" + QByteArray::number(i) + "]\n\"Value\"=\"x\"\n";
    return file;
}

void Measure(const char* what, const QByteArray& content, const QString& key, const QString& name)
{
    QElapsedTimer clock;
    clock.start();
    RegFileDocument document;
    QString error;
    const bool parsed = ParseRegFile(content, document, error);
    const qint64 parseMs = clock.elapsed();

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("user.reg"));
    QFile file(path);
    if (!parsed || !file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::printf("%s: could not be set up\n", what);
        return;
    }
    file.close();
    FileRegistry registry(path);
    Registry::Value value;
    clock.restart();
    const Registry::Result result = registry.ReadValue(key, name, value);
    const qint64 readMs = clock.elapsed();
    std::printf("%s (%.1f MB): whole file parsed in %lld ms; one store read in %lld ms%s\n", what,
                static_cast<double>(content.size()) / 1e6, static_cast<long long>(parseMs),
                static_cast<long long>(readMs), result == Registry::Result::Ok ? "" : " (value not found)");
}

} // namespace

int main()
{
    Measure("50000 values in one key", ManyValues(), QStringLiteral("Kronvik\\Many"), QStringLiteral("Value49999"));
    Measure("50000 keys", ManyKeys(), QStringLiteral("Kronvik\\Key49999"), QStringLiteral("Value"));
    return 0;
}
