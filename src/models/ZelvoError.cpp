#include "ZelvoError.h"

const char *ZelvoError::what() const noexcept
{
    m_what = m_description.toUtf8();
    return m_what.constData();
}

QString errorText(const std::exception &error)
{
    if (const auto *zelvo = dynamic_cast<const ZelvoError *>(&error))
        return zelvo->localizedDescription();
    return QString::fromUtf8(error.what());
}

QString errorText(std::exception_ptr error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return errorText(e);
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}
