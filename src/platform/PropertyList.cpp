#include "PropertyList.h"

#include <QFile>

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>

namespace PropertyList {

std::optional<QHash<QString, QString>> readTopLevelStrings(const QString &path, const QList<const char *> &keys)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max())
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
