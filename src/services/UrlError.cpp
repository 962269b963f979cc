#include "UrlError.h"

#include <QNetworkRequest>

#include "models/SafeText.h"
#include "models/WebAddress.h"

UrlError::UrlError(Code code, QString description, QNetworkReply::NetworkError networkError)
    : ZelvoError(std::move(description)), m_code(code), m_networkError(networkError)
{
}

UrlError UrlError::badUrl(const QString &address)
{
    return UrlError(Code::badURL,
                    QStringLiteral("无效的网址：“%1”，请填写以 http:// 或 https:// 开头的完整地址").arg(address));
}

UrlError UrlError::timedOut(int timeoutMs)
{
    const int seconds = std::max(1, (timeoutMs + 999) / 1000);
    return UrlError(Code::timedOut, QStringLiteral("请求超时：%1 秒内没有收到服务器的数据").arg(seconds),
                    QNetworkReply::TimeoutError);
}

UrlError UrlError::badServerResponse(int httpStatus)
{
    if (httpStatus <= 0)
        return UrlError(Code::badServerResponse, QStringLiteral("服务器响应异常：不是 HTTP 响应"));
    return UrlError(Code::badServerResponse, QStringLiteral("服务器响应异常：HTTP 状态码 %1").arg(httpStatus));
}

UrlError UrlError::cannotDecodeRawData()
{
    return UrlError(Code::cannotDecodeRawData, QStringLiteral("无法解码页面内容：既不是 UTF-8 也不是 ASCII 文本"));
}

UrlError UrlError::dataLengthExceedsMaximum(qint64 limitBytes)
{
    const qint64 megabytes = std::max<qint64>(1, limitBytes / 1000000);
    return UrlError(Code::dataLengthExceedsMaximum,
                    QStringLiteral("页面过大：超过 %1 MB，不像是目录列表页面").arg(megabytes));
}

UrlError UrlError::transport(QNetworkReply::NetworkError error, const QString &errorString)
{
    return UrlError(Code::transport, errorString, error);
}

std::optional<UrlError> UrlError::forRefusedRedirect(const QNetworkReply &reply)
{
    const auto error = reply.error();
    if (error == QNetworkReply::TooManyRedirectsError)
        return UrlError(Code::badRedirect, QStringLiteral("服务器的跳转次数过多，可能是跳转形成了循环"), error);
    if (error == QNetworkReply::InsecureRedirectError)
        return UrlError(Code::badRedirect, QStringLiteral("已拒绝从 HTTPS 跳转到不安全的 HTTP 地址"), error);
    // A final answer that still asks to go elsewhere: the redirect was not followed.
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 300 || status >= 400 || status == 304)
        return std::nullopt;
    const QByteArray location = reply.rawHeader("Location").trimmed();
    if (location.isEmpty())
        return UrlError(Code::badRedirect, QStringLiteral("服务器要求跳转（HTTP %1），却没有给出新地址").arg(status),
                        error);
    const QUrl target = reply.url().resolved(QUrl::fromEncoded(location));
    if (!isWebAddress(target))
        return UrlError(Code::badRedirect,
                        QStringLiteral("已拒绝跳转到“%1”：只支持 http:// 或 https:// 开头的网址")
                            .arg(neutralizeControls(target.toDisplayString())),
                        error);
    return UrlError(Code::badRedirect, QStringLiteral("服务器要求跳转（HTTP %1），但跳转没有完成").arg(status), error);
}

std::optional<UrlError> UrlError::forFinishedReply(const QNetworkReply &reply, int timeoutMs)
{
    const auto error = reply.error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        return timedOut(timeoutMs);
    if (auto redirect = forRefusedRedirect(reply))
        return redirect;
    // Below 200 the failure is the connection's (refused, TLS, redirects,
    // proxy): no final answer exists to judge.
    if (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        return transport(error, reply.errorString());
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() != 200)
        return badServerResponse(status.isValid() ? status.toInt() : 0);
    // Status 200 and still an error: the body broke off or was malformed.
    if (error != QNetworkReply::NoError)
        return transport(error, reply.errorString());
    return std::nullopt;
}
