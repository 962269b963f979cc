#include "services/BoundedBody.h"

#include <QNetworkReply>

std::shared_ptr<BoundedBody> BoundedBody::attach(QNetworkReply *reply, qint64 cap)
{
    std::shared_ptr<BoundedBody> body(new BoundedBody(reply, cap));
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [body] { body->take(); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [body] { body->take(); });
    return body;
}

void BoundedBody::take()
{
    if (m_tooLarge)
        return;
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() > m_cap)
        m_tooLarge = true;
    else
        m_bytes.append(m_reply->read(m_cap + 1 - m_bytes.size()));
    if (m_tooLarge || m_bytes.size() > m_cap) {
        m_tooLarge = true;
        m_bytes.clear();
        m_reply->abort();
    }
}
