#include "platform/linux/settings/RegFileFormat.h"

#include <unordered_map>
#include <vector>

namespace {

constexpr char Header[] = "REGEDIT4";
constexpr int HexBytesPerLine = 25;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray TrimRight(QByteArray line)
{
    while (!line.isEmpty() && IsBlank(line.back()))
        line.chop(1);
    return line;
}

QByteArray TrimLeft(const QByteArray& line)
{
    qsizetype start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    return line.mid(start);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One to eight hex digits, as the type number of hex(N) and the dword data are written.
bool ParseHexNumber(const QByteArray& text, std::uint32_t& number)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    number = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return false;
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

// A quoted text starting at pos; on success pos is just past the closing quote.
bool ParseQuoted(const QByteArray& line, qsizetype& pos, QByteArray& text)
{
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"'))
                return false;
            ++pos;
        }
        text.append(line[pos]);
    }
    return false;
}

bool ParseHexBytes(QByteArray list, QByteArray& data)
{
    list.replace(' ', QByteArray()).replace('\t', QByteArray());
    data.clear();
    if (list.isEmpty())
        return true;
    for (const QByteArray& token : list.split(',')) {
        std::uint32_t byte = 0;
        if (token.size() > 2 || !ParseHexNumber(token, byte))
            return false;
        data.append(static_cast<char>(byte));
    }
    return true;
}

bool ParseData(const QByteArray& text, Registry::Value& value)
{
    if (text.startsWith('"')) {
        qsizetype pos = 0;
        value.type = Registry::RegSz;
        return ParseQuoted(text, pos, value.data) && pos == text.size();
    }
    if (text.startsWith("dword:")) {
        std::uint32_t number = 0;
        if (!ParseHexNumber(text.mid(6), number))
            return false;
        value.type = Registry::RegDword;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data.append(static_cast<char>((number >> (8 * i)) & 0xFF));
        return true;
    }
    if (text.startsWith("hex:")) {
        value.type = Registry::RegBinary;
        return ParseHexBytes(text.mid(4), value.data);
    }
    if (text.startsWith("hex(")) {
        const qsizetype close = text.indexOf("):");
        return close > 4 && ParseHexNumber(text.mid(4, close - 4), value.type)
            && ParseHexBytes(text.mid(close + 2), value.data);
    }
    return false;
}

bool IsValidKeyPath(const QByteArray& path)
{
    if (path.isEmpty() || path.startsWith('-'))
        return false;
    for (const QByteArray& segment : path.split('\\')) {
        if (segment.isEmpty())
            return false;
    }
    return true;
}

bool FitsBetweenQuotes(const QByteArray& bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
    }
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QByteArray Quoted(const QByteArray& bytes)
{
    QByteArray escaped = bytes;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

QByteArray HexList(const QByteArray& data)
{
    QByteArray list;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0)
            list += (i % HexBytesPerLine == 0) ? ",\\\n  " : ",";
        list += QByteArray::number(static_cast<unsigned char>(data[i]), 16).rightJustified(2, '0');
    }
    return list;
}

QByteArray FormatData(const Registry::Value& value)
{
    if (value.type == Registry::RegSz && FitsBetweenQuotes(value.data))
        return Quoted(value.data);
    if (value.type == Registry::RegDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        return "dword:" + QByteArray::number(number, 16).rightJustified(8, '0');
    }
    if (value.type == Registry::RegBinary)
        return "hex:" + HexList(value.data);
    return "hex(" + QByteArray::number(value.type, 16) + "):" + HexList(value.data);
}

QString DecodeName(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes);
}

QString Folded(const QString& name)
{
    return name.toCaseFolded();
}

// What the registry editors of the newer kind export: UTF-16 text under another header.
bool IsNewerExport(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || bytes.startsWith("Windows Registry Editor Version 5.00")
        || bytes.startsWith("\xEF\xBB\xBFWindows Registry Editor Version 5.00");
}

void AppendComments(QByteArray& out, const QList<QByteArray>& comments)
{
    for (const QByteArray& comment : comments)
        out += comment + '\n';
}

} // namespace

bool ParseRegFile(const QByteArray& bytes, RegFileDocument& document, QString& error)
{
    document = {};
    const auto fail = [&error](qsizetype index, const QString& what) {
        error = QStringLiteral("line %1: %2").arg(index + 1).arg(what);
        return false;
    };
    if (IsNewerExport(bytes))
        return fail(
            0,
            QStringLiteral("the file is a registry export of the newer kind (\"Windows Registry Editor Version "
                           "5.00\", UTF-16 text), but Kronvik reads the older kind: save it as UTF-8 text "
                           "(for example with iconv -f UTF-16 -t UTF-8) and replace its first line by REGEDIT4"));
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.first().startsWith("\xEF\xBB\xBF"))
        lines.first().remove(0, 3);

    bool headerSeen = false;
    QList<QByteArray> comments;
    RegFileKey* key = nullptr;
    // Indexes by folded name, so that a file of many keys or values reads in linear time.
    using Index = std::unordered_map<QString, qsizetype>;
    Index keyIndex;
    std::vector<Index> valueIndex;
    qsizetype keyNumber = -1;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = TrimLeft(TrimRight(lines[i]));
        if (line.isEmpty())
            continue;
        if (!headerSeen) {
            if (line != Header)
                return fail(i, QStringLiteral("the file does not start with REGEDIT4"));
            headerSeen = true;
        } else if (line.startsWith(';')) {
            comments.append(line);
        } else if (line.startsWith('[')) {
            const QByteArray path = line.mid(1, line.size() - 2);
            if (!line.endsWith(']') || !IsValidKeyPath(path))
                return fail(i, QStringLiteral("not a key name"));
            const QString name = DecodeName(path);
            const auto [found, added] = keyIndex.try_emplace(Folded(name), document.keys.size());
            if (added) {
                document.keys.append(RegFileKey { {}, name, {}, path });
                valueIndex.emplace_back();
            }
            keyNumber = found->second;
            key = &document.keys[keyNumber];
            key->comments.append(comments);
            comments.clear();
        } else if (line.startsWith('"') || line.startsWith('@')) {
            if (!key)
                return fail(i, QStringLiteral("a value outside of any key"));
            qsizetype pos = 0;
            QByteArray name;
            if (line.startsWith('@'))
                pos = 1;
            else if (!ParseQuoted(line, pos, name))
                return fail(i, QStringLiteral("the value name is not closed"));
            QByteArray data = TrimLeft(line.mid(pos));
            if (!data.startsWith('='))
                return fail(i, QStringLiteral("\"=\" missing after the value name"));
            data = TrimLeft(data.mid(1));
            while (data.startsWith("hex") && data.endsWith('\\') && i + 1 < lines.size()) {
                data.chop(1);
                data += TrimLeft(TrimRight(lines[++i]));
            }
            RegFileValue value { comments, { DecodeName(name), Registry::RegSz, {} }, name };
            comments.clear();
            if (!ParseData(data, value.value))
                return fail(i, QStringLiteral("the value's data cannot be read"));
            // As an import would: a later line of the same name wins.
            Index& values = valueIndex[static_cast<std::size_t>(keyNumber)];
            const auto [found, added] = values.try_emplace(Folded(value.value.name), key->values.size());
            if (added) {
                key->values.append(value);
            } else {
                RegFileValue& existing = key->values[found->second];
                existing.comments.append(value.comments);
                existing.value.type = value.value.type;
                existing.value.data = value.value.data;
            }
        } else {
            return fail(i, QStringLiteral("neither a key, a value nor a comment"));
        }
    }
    document.trailingComments = comments;
    return true;
}

QByteArray FormatRegFile(const RegFileDocument& document)
{
    QByteArray out = QByteArray(Header) + '\n';
    for (const RegFileKey& key : document.keys) {
        out += '\n';
        AppendComments(out, key.comments);
        out += '[' + key.rawPath + "]\n";
        for (const RegFileValue& value : key.values) {
            AppendComments(out, value.comments);
            out += value.value.name.isEmpty() ? QByteArray("@") : Quoted(value.rawName);
            out += '=' + FormatData(value.value) + '\n';
        }
    }
    if (!document.trailingComments.isEmpty()) {
        out += '\n';
        AppendComments(out, document.trailingComments);
    }
    return out;
}

RegFileKey NewRegKey(const QString& path)
{
    return RegFileKey { {}, path, {}, path.toUtf8() };
}

RegFileValue NewRegValue(const QString& name, std::uint32_t type, const QByteArray& data)
{
    return RegFileValue { {}, { name, type, data }, name.toUtf8() };
}

bool IsWritableRegName(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return QString::fromUtf8(name.toUtf8()) == name;
}

RegFileKey* FindRegKey(RegFileDocument& document, const QString& path)
{
    for (RegFileKey& key : document.keys) {
        if (key.path.compare(path, Qt::CaseInsensitive) == 0)
            return &key;
    }
    return nullptr;
}

RegFileValue* FindRegValue(RegFileKey& key, const QString& name)
{
    for (RegFileValue& value : key.values) {
        if (value.value.name.compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}
