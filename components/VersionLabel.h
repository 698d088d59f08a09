#pragma once

#include <QLabel>

class VersionInfo;

// Which string of the version block a version label shows, each with its key and prefix.
enum TVersionResources
{
    vrCompanyName,
    vrFileDescription,
    vrFileVersion,
    vrInternalName,
    vrLegalCopyright,
    vrOriginalFilename,
    vrProductName,
    vrProductVersion,
    vrComments
};

// A label showing one string of the program's version block, read afresh from the program's file
// whenever a setting changes, with an optional prefix before it. It never fails: a missing block,
// table or string shows as a message in the label.
class TVersionLabel final : public QLabel
{
    Q_OBJECT

public:
    static inline const QString NoData = QStringLiteral("< No Data Available >");
    static inline const QString QueryFailed = QStringLiteral("Error retrieving version info");
    static inline const QString NoValue = QStringLiteral("No Version Info");

    explicit TVersionLabel(VersionInfo& versionInfo, QWidget* parent = nullptr);

    TVersionResources VersionResource() const { return m_versionResource; }
    // Also sets the key and the prefix of the chosen string.
    void SetVersionResource(TVersionResources resource);
    QString VersionResourceKey() const { return m_versionResourceKey; }
    // A new key also becomes the prefix, until a prefix is set.
    void SetVersionResourceKey(const QString& key);
    QString InfoPrefix() const { return m_infoPrefix; }
    void SetInfoPrefix(const QString& prefix);
    bool ShowInfoPrefix() const { return m_showInfoPrefix; }
    void SetShowInfoPrefix(bool show);
    // Language and code page of the string table, as 8 hexadecimal digits.
    QString LangCharset() const { return m_langCharset; }
    void SetLangCharset(const QString& langCharset);
    // The label takes the size of its text whenever the text changes.
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool autoSize);

private:
    void UpdateCaption();

    VersionInfo& m_versionInfo;
    TVersionResources m_versionResource = vrCompanyName;
    QString m_versionResourceKey;
    QString m_infoPrefix;
    bool m_showInfoPrefix = false;
    QString m_langCharset;
    bool m_autoSize = false;
};
