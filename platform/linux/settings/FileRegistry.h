#pragma once

#include "platform/Registry.h"

#include <QString>

#include <functional>

struct RegFileDocument;

// The current user's registry kept in one file in the registry export format (REGEDIT4).
// Every call reads the file afresh. Changes are written to a temporary file in the same folder and
// renamed over the old one, so a crash leaves either the old or the new file, never a mix. A file
// that cannot be parsed is never overwritten: reads and writes fail and LastError names the line.
class FileRegistry final : public Registry
{
public:
    explicit FileRegistry(QString path);

    Result CreateKey(const QString& key) override;
    Result KeyExists(const QString& key) override;
    Result ReadValue(const QString& key, const QString& name, Value& value) override;
    Result WriteText(const QString& key, const QString& name, const QByteArray& data) override;
    Result EnumValues(const QString& key, QList<Value>& values) override;
    Result DeleteKey(const QString& key) override;
    QString LastError() const override { return m_lastError; }

private:
    using Change = std::function<Result(RegFileDocument& document, bool& changed)>;

    Result Load(RegFileDocument& document);
    // Applies change to the current content while holding the folder's lock, and writes the result
    // when change reports that it changed something.
    Result Modify(const Change& change);
    bool WriteAtomically(int folder, const RegFileDocument& document);
    Result Fail(const QString& why);

    QString m_path;
    QString m_lastError;
};

// $XDG_CONFIG_HOME/kronvik/user.reg; ~/.config stands in when XDG_CONFIG_HOME is unset, empty or
// not an absolute path.
QString DefaultRegistryPath(const QString& xdgConfigHome, const QString& home);
