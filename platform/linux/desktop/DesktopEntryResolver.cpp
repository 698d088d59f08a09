#include "platform/linux/desktop/DesktopEntryResolver.h"

#include <QFile>
#include <QHash>
#include <QSet>

namespace {

const QString MainGroup = QStringLiteral("Desktop Entry");
// Entries are a few kilobytes; anything far larger is not one.
constexpr qint64 MaxEntrySize = 1 << 20;

// The escapes of every string value; an unknown one is kept for the Exec rules to read.
QString UnescapeValue(const QString& value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            text += c;
            continue;
        }
        switch (value.at(++i).unicode()) {
        case 's':
            text += QLatin1Char(' ');
            break;
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case '\\':
            text += QLatin1Char('\\');
            break;
        default:
            text += c;
            text += value.at(i);
        }
    }
    return text;
}

bool IsFieldCode(QChar c)
{
    return QStringLiteral("fFuUdDnNickvm").contains(c);
}

// The Exec value as separate words: blanks separate them outside double quotes; inside, a
// backslash takes the next character literally. Field codes go, "%%" is a percent sign, and a
// word made only of field codes is dropped. Nothing when a quote is left open.
std::optional<QStringList> SplitExec(const QString& exec)
{
    QStringList words;
    QString word;
    bool literal = false; // the word holds more than field codes: text, or a pair of quotes
    bool quoted = false;
    auto endWord = [&] {
        if (literal)
            words.append(word);
        word.clear();
        literal = false;
    };
    auto append = [&](QChar c) {
        word += c;
        literal = true;
    };
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        const QChar next = i + 1 < exec.size() ? exec.at(i + 1) : QChar();
        if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
            append(c);
            ++i;
        } else if (c == QLatin1Char('\\') && !next.isNull()) {
            append(next);
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            literal = true;
        } else if (!quoted && (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))) {
            endWord();
        } else if (!quoted && c == QLatin1Char('%') && IsFieldCode(next)) {
            ++i;
        } else {
            append(c);
        }
    }
    if (quoted)
        return std::nullopt;
    endWord();
    return words;
}

} // namespace

bool DesktopEntryResolver::IsShortcut(const QString& path) const
{
    return path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
}

std::optional<ProcessCommand> DesktopEntryResolver::Resolve(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(MaxEntrySize + 1);
    if (text.size() > MaxEntrySize)
        return std::nullopt;
    return Parse(text);
}

std::optional<ProcessCommand> DesktopEntryResolver::Parse(const QByteArray& text)
{
    QSet<QString> groups;
    QString group;
    QHash<QString, QString> entry; // the keys of the main group
    QSet<QString> keys;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (trimmed.startsWith('[')) {
            if (!trimmed.endsWith(']'))
                return std::nullopt;
            group = QString::fromUtf8(trimmed.mid(1, trimmed.size() - 2));
            // The main group comes first, and no group twice.
            if ((groups.isEmpty() && group != MainGroup) || groups.contains(group))
                return std::nullopt;
            groups.insert(group);
            keys.clear();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (group.isEmpty() || equals <= 0)
            return std::nullopt;
        const QString key = QString::fromUtf8(line.left(equals).trimmed());
        if (key.isEmpty() || keys.contains(key))
            return std::nullopt;
        keys.insert(key);
        if (group == MainGroup)
            entry.insert(key, QString::fromUtf8(line.mid(equals + 1).trimmed()));
    }
    if (!groups.contains(MainGroup) || entry.value(QStringLiteral("Type")) != QLatin1String("Application"))
        return std::nullopt;
    const std::optional<QStringList> words = SplitExec(UnescapeValue(entry.value(QStringLiteral("Exec"))));
    if (!words || words->isEmpty() || words->constFirst().isEmpty())
        return std::nullopt;
    return ProcessCommand { words->constFirst(), words->mid(1), UnescapeValue(entry.value(QStringLiteral("Path"))) };
}
