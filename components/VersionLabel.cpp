#include "components/VersionLabel.h"

#include "components/VersionQuery.h"
#include "platform/VersionInfo.h"

namespace {

struct VersionString
{
    const char* key;
    const char* prefix;
};

constexpr VersionString VersionStrings[] = {
    { "CompanyName", "Company Name:" },
    { "FileDescription", "File Description:" },
    { "FileVersion", "File Version:" },
    { "InternalName", "Internal Name:" },
    { "LegalCopyright", "Legal Copyright:" },
    { "OriginalFilename", "Original Filename:" },
    { "ProductName", "Product Name:" },
    { "ProductVersion", "Product Version:" },
    { "Comments", "Comments:" },
};

} // namespace

TVersionLabel::TVersionLabel(VersionInfo& versionInfo, QWidget* parent)
    : QLabel(parent)
    , m_versionInfo(versionInfo)
{
    // A message such as "< No Data Available >" is text, not markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    SetAutoSize(true);
    SetShowInfoPrefix(true);
    SetLangCharset(QStringLiteral("080904E4"));
    SetVersionResource(vrFileVersion);
}

void TVersionLabel::SetVersionResource(TVersionResources resource)
{
    m_versionResource = resource;
    SetVersionResourceKey(QString::fromLatin1(VersionStrings[resource].key));
    SetInfoPrefix(QString::fromLatin1(VersionStrings[resource].prefix));
}

void TVersionLabel::SetVersionResourceKey(const QString& key)
{
    if (key == m_versionResourceKey)
        return;
    m_versionResourceKey = key;
    // When the prefix already reads like the new key, setting it would change nothing and the
    // caption would go on showing the old key's string.
    if (m_infoPrefix == key)
        UpdateCaption();
    else
        SetInfoPrefix(key);
}

void TVersionLabel::SetInfoPrefix(const QString& prefix)
{
    if (prefix == m_infoPrefix)
        return;
    m_infoPrefix = prefix;
    UpdateCaption();
}

void TVersionLabel::SetShowInfoPrefix(bool show)
{
    if (show == m_showInfoPrefix)
        return;
    m_showInfoPrefix = show;
    UpdateCaption();
}

void TVersionLabel::SetLangCharset(const QString& langCharset)
{
    if (langCharset == m_langCharset)
        return;
    m_langCharset = langCharset;
    UpdateCaption();
}

void TVersionLabel::SetAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    if (m_autoSize)
        adjustSize();
}

void TVersionLabel::UpdateCaption()
{
    QString caption = NoData;
    if (m_versionInfo.Size() != 0) {
        QByteArray block;
        m_versionInfo.Read(block);
        const std::optional<QString> value = VersionQueryValue(
            block, QStringLiteral("\\StringFileInfo\\") + m_langCharset + QLatin1Char('\\') + m_versionResourceKey);
        caption = !value ? QueryFailed : value->isEmpty() ? NoValue : *value;
    }
    if (m_showInfoPrefix)
        caption = m_infoPrefix + QLatin1Char(' ') + caption;
    setText(caption);
    if (m_autoSize)
        adjustSize();
}
