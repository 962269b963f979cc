#include "Sha256.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include <QFile>

#include <openssl/evp.h>

struct Sha256::State
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr);
}

void Sha256::update(const char *data, qint64 size)
{
    EVP_DigestUpdate(m_state->context, data, static_cast<size_t>(size));
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_state->context, reinterpret_cast<unsigned char *>(digest.data()), &size);
    digest.truncate(static_cast<qsizetype>(size));
    reset();
    return digest;
}

std::optional<QByteArray> Sha256::ofFile(const QString &path, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    Sha256 hash;
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    qint64 left = length < 0 ? std::numeric_limits<qint64>::max() : length;
    while (left > 0) {
        const qint64 count = file.read(buffer.data(), std::min<qint64>(buffer.size(), left));
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        hash.update(buffer.constData(), count);
        left -= count;
    }
    if (length >= 0 && left > 0)
        return std::nullopt;
    return hash.result();
}

std::optional<QByteArray> Sha256::fromHex(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.size() != 64)
        return std::nullopt;
    for (const QChar c : digits) {
        if (!isxdigit(c.unicode() < 128 ? c.unicode() : 'x'))
            return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}
