#include "PropertyList.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

#include "platform/BoundedRead.h"

namespace PropertyList {

namespace {

// Real Info.plist files stay far below this; a bundle carrying a larger one
// (or a FIFO in its place) must not stall or bloat a scan of every app.
constexpr qint64 maxFileBytes = 4 << 20;

} // namespace

std::optional<QHash<QString, QString>> readTopLevelStrings(const QString &path, const QList<const char *> &keys)
{
    const auto file = BoundedRead::regularFile(path, maxFileBytes);
    const QByteArray &bytes = file.bytes;
    if (file.status != BoundedRead::Status::ok || bytes.isEmpty())
        return std::nullopt;

    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    const std::unique_ptr<void, decltype(&plist_free)> guard(root, &plist_free);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;

    QHash<QString, QString> strings;
    for (const char *key : keys) {
        const plist_t value = plist_dict_get_item(root, key);
        if (value && plist_get_node_type(value) == PLIST_STRING) {
            uint64_t length = 0;
            const char *text = plist_get_string_ptr(value, &length);
            strings.insert(QString::fromUtf8(key), QString::fromUtf8(text, qsizetype(length)));
        }
    }
    return strings;
}

} // namespace PropertyList
