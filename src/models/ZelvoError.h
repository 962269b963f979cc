#pragma once

#include <QException>
#include <QString>

// The one error type that travels through futures (QFuture::onFailed) and
// reaches the screens. Typed errors derive from it and fix their Chinese
// prefix; errors of the platform carry the platform's own text unchanged.
class ZelvoError : public QException
{
public:
    explicit ZelvoError(QString description) : m_description(std::move(description)) {}

    // The text a screen shows for this error.
    QString localizedDescription() const { return m_description; }

    void raise() const override { throw *this; }
    ZelvoError *clone() const override { return new ZelvoError(*this); }
    const char *what() const noexcept override;

private:
    QString m_description;
    mutable QByteArray m_what;
};

// A JSON document that does not decode into the record types.
class DecodingError final : public ZelvoError
{
public:
    using ZelvoError::ZelvoError;
    void raise() const override { throw *this; }
    DecodingError *clone() const override { return new DecodingError(*this); }
};

// Turns whatever a future failed with into the text a screen shows.
QString errorText(const std::exception &error);
QString errorText(std::exception_ptr error);
