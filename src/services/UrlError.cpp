#include "UrlError.h"

#include <QNetworkRequest>

#include "models/SafeText.h"
#include "models/WebAddress.h"
#include "services/ConsoleLine.h"

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
    UrlError result(Code::transport, describe(error), error);
    result.m_technicalText = errorString;
    return result;
}

QString UrlError::describe(QNetworkReply::NetworkError error)
{
    using E = QNetworkReply::NetworkError;
    switch (error) {
    case E::NoError:
        return {};
    case E::ConnectionRefusedError:
        return QStringLiteral("无法连接服务器：连接被拒绝");
    case E::RemoteHostClosedError:
        return QStringLiteral("连接被服务器中断");
    case E::HostNotFoundError:
        return QStringLiteral("找不到服务器：请检查网址和网络连接");
    case E::TimeoutError:
        return QStringLiteral("连接超时：服务器长时间没有响应");
    case E::OperationCanceledError:
        return QStringLiteral("请求已取消");
    case E::SslHandshakeFailedError:
        return QStringLiteral("安全连接失败：服务器的证书无效或不受信任");
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError:
        return QStringLiteral("网络暂时不可用，请检查网络连接");
    case E::BackgroundRequestNotAllowedError:
        return QStringLiteral("系统不允许在后台访问网络");
    case E::TooManyRedirectsError:
        return QStringLiteral("网址跳转次数过多，可能陷入了循环跳转");
    case E::InsecureRedirectError:
        return QStringLiteral("已拒绝从 HTTPS 跳转到不安全的 HTTP 地址");
    case E::ProxyConnectionRefusedError:
        return QStringLiteral("代理服务器拒绝连接");
    case E::ProxyConnectionClosedError:
        return QStringLiteral("代理服务器中断了连接");
    case E::ProxyNotFoundError:
        return QStringLiteral("找不到代理服务器，请检查代理设置");
    case E::ProxyTimeoutError:
        return QStringLiteral("代理服务器响应超时");
    case E::ProxyAuthenticationRequiredError:
        return QStringLiteral("代理服务器要求身份验证");
    case E::UnknownProxyError:
        return QStringLiteral("代理服务器出错");
    case E::ContentAccessDenied:
    case E::ContentOperationNotPermittedError:
        return QStringLiteral("服务器拒绝访问");
    case E::ContentNotFoundError:
        return QStringLiteral("服务器上找不到该文件");
    case E::AuthenticationRequiredError:
        return QStringLiteral("服务器要求登录验证");
    case E::ContentGoneError:
        return QStringLiteral("该文件已从服务器移除");
    case E::ContentReSendError:
    case E::ContentConflictError:
    case E::UnknownContentError:
        return QStringLiteral("服务器拒绝了请求");
    case E::ProtocolUnknownError:
        return QStringLiteral("不支持的网址类型，请使用 http:// 或 https://");
    case E::ProtocolInvalidOperationError:
    case E::ProtocolFailure:
        return QStringLiteral("服务器的响应无法识别");
    case E::InternalServerError:
    case E::OperationNotImplementedError:
    case E::ServiceUnavailableError:
    case E::UnknownServerError:
        return QStringLiteral("服务器出错，请稍后再试");
    case E::UnknownNetworkError:
        break;
    }
    return QStringLiteral("网络错误，请检查网络连接");
}

bool UrlError::isTransient(QNetworkReply::NetworkError error)
{
    using E = QNetworkReply::NetworkError;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::RemoteHostClosedError:
    case E::HostNotFoundError:
    case E::TimeoutError:
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError:
    case E::UnknownNetworkError:
    case E::ProxyConnectionRefusedError:
    case E::ProxyConnectionClosedError:
    case E::ProxyTimeoutError:
    case E::InternalServerError:
    case E::ServiceUnavailableError:
    case E::UnknownServerError:
        return true;
    default:
        return false;
    }
}

bool UrlError::isTransientStatus(int httpStatus)
{
    return httpStatus == 408 || httpStatus == 429 || (httpStatus >= 500 && httpStatus <= 599 && httpStatus != 501);
}

QString UrlError::describe(const QNetworkReply &reply)
{
    if (reply.error() == QNetworkReply::NoError)
        return {};
    printConsoleLine(QStringLiteral("网络错误: ") + reply.url().toString() + QStringLiteral(": ") + reply.errorString());
    return describe(reply.error());
}

std::optional<UrlError> UrlError::forRefusedRedirect(const QNetworkReply &reply)
{
    const auto error = reply.error();
    if (error == QNetworkReply::TooManyRedirectsError || error == QNetworkReply::InsecureRedirectError)
        return UrlError(Code::badRedirect, describe(error), error);
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
