// The settings file is the user's to edit by hand: whatever it holds, reading must not crash, and
// anything read must survive being written back and read again unchanged.
#include "platform/linux/settings/RegFileFormat.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool SameValues(const RegFileDocument& a, const RegFileDocument& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (qsizetype k = 0; k < a.keys.size(); ++k) {
        const RegFileKey& x = a.keys[k];
        const RegFileKey& y = b.keys[k];
        if (x.path != y.path || x.rawPath != y.rawPath || x.values.size() != y.values.size())
            return false;
        for (qsizetype v = 0; v < x.values.size(); ++v) {
            const Registry::Value& p = x.values[v].value;
            const Registry::Value& q = y.values[v].value;
            if (p.name != q.name || x.values[v].rawName != y.values[v].rawName || p.type != q.type || p.data != q.data)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RegFileDocument document;
    QString error;
    if (!ParseRegFile(bytes, document, error))
        return 0;
    const QByteArray written = FormatRegFile(document);
    RegFileDocument reread;
    if (!ParseRegFile(written, reread, error) || !SameValues(document, reread) || FormatRegFile(reread) != written)
        std::abort();
    return 0;
}
