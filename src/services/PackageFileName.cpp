#include "PackageFileName.h"

#include <QFileInfo>
#include <QList>
#include <QNetworkReply>

#include <optional>

#include "models/LocalPackage.h"
#include "models/SafeText.h"

namespace {

// Leaves room for the extension added from the content and stays far below
// the 255-byte name limit of common file systems.
constexpr qsizetype maxFileNameBytes = 200;

QString safeFileName(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    name.removeIf([](QChar c) { return isUnsafeTextChar(c.unicode()); });
    name = name.trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name = name.mid(1).trimmed();
    if (name.toUtf8().size() > maxFileNameBytes) {
        const QString suffix = QFileInfo(name).suffix().left(16);
        QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
        while (!base.isEmpty() && (base + QLatin1Char('.') + suffix).toUtf8().size() > maxFileNameBytes)
            base.chop(base.size() >= 2 && base.at(base.size() - 1).isLowSurrogate() ? 2 : 1);
        name = suffix.isEmpty() ? base : base + QLatin1Char('.') + suffix;
    }
    return name;
}

QString fallbackFileName(const QString &key)
{
    const QString base = safeFileName(key);
    return (base.isEmpty() ? QStringLiteral("download") : base) + QStringLiteral(".pkg");
}

// Splits a header value at ';' outside double quotes.
QList<QByteArray> headerParameters(const QByteArray &value)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (quoted && c == '\\' && i + 1 < value.size()) {
            current += c;
            current += value.at(++i);
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            parts << current.trimmed();
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current.trimmed();
    return parts;
}

QByteArray unquote(QByteArray value)
{
    if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"'))
        return value;
    QByteArray plain;
    for (qsizetype i = 1; i + 1 < value.size(); ++i) {
        if (value.at(i) == '\\' && i + 2 < value.size())
            ++i;
        plain += value.at(i);
    }
    return plain;
}

QString decodeText(const QByteArray &bytes)
{
    // Many servers put raw UTF-8 in the plain parameter; fall back to
    // Latin-1, the header's historical charset, when it is not valid UTF-8.
    QString text = QString::fromUtf8(bytes);
    return text.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : text;
}

// RFC 6266: "filename*" (RFC 5987, charset'language'percent-encoded) wins
// over "filename".
std::optional<QString> fileNameFromContentDisposition(const QByteArray &header)
{
    std::optional<QString> plain;
    std::optional<QString> extended;
    for (const QByteArray &parameter : headerParameters(header)) {
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray name = parameter.left(equals).trimmed().toLower();
        const QByteArray value = parameter.mid(equals + 1).trimmed();
        if (name == "filename*") {
            const QList<QByteArray> pieces = unquote(value).split('\'');
            if (pieces.size() != 3)
                continue;
            const QByteArray charset = pieces.at(0).toLower();
            const QByteArray bytes = QByteArray::fromPercentEncoding(pieces.at(2));
            if (charset == "utf-8")
                extended = QString::fromUtf8(bytes);
            else if (charset == "iso-8859-1")
                extended = QString::fromLatin1(bytes);
        } else if (name == "filename") {
            plain = decodeText(unquote(value));
        }
    }
    return extended ? extended : plain;
}

QString suggestedFileName(const QNetworkReply &reply, const QString &key)
{
    const QByteArray disposition = reply.rawHeader("Content-Disposition");
    if (const auto name = fileNameFromContentDisposition(disposition)) {
        if (const QString safe = safeFileName(*name); !safe.isEmpty())
            return safe;
    }
    if (const QString safe = safeFileName(reply.url().fileName()); !safe.isEmpty())
        return safe;
    return fallbackFileName(key);
}

QString typedFileName(const QString &name, PackageType content)
{
    const PackageType named = LocalPackage::packageTypeForFileName(name);
    if (named == content)
        return name;
    const QString base = named == PackageType::unknown ? name : QFileInfo(name).completeBaseName();
    return base + QLatin1Char('.') + rawValue(content);
}

QString numberedFileName(const QString &name, int number)
{
    if (number < 2)
        return name;
    const QFileInfo info(name);
    const QString mark = QStringLiteral(" (%1)").arg(number);
    return info.suffix().isEmpty() ? name + mark : info.completeBaseName() + mark + QLatin1Char('.') + info.suffix();
}

} // namespace

namespace PackageFileName {

QString safe(QString name)
{
    return safeFileName(std::move(name));
}

QString suggested(const QNetworkReply &reply, const QString &key)
{
    return suggestedFileName(reply, key);
}

QString typed(const QString &name, PackageType content)
{
    return typedFileName(name, content);
}

QString numbered(const QString &name, int number)
{
    return numberedFileName(name, number);
}

} // namespace PackageFileName
