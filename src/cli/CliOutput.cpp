#include "CliOutput.h"

#include <QJsonDocument>

#include <cstdio>

#include <unistd.h>

#include "models/SafeText.h"

namespace CliOutput {

namespace {

void put(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Each piece between separators neutralised, the separators kept.
QString neutralizeBetween(const QString &text, QChar separator, QChar inner = {})
{
    QStringList pieces = text.split(separator);
    for (auto &piece : pieces)
        piece = inner.isNull() ? neutralizeControls(piece) : neutralizeBetween(piece, inner);
    return pieces.join(separator);
}

QString forPeople(const QString &text)
{
    return neutralizeBetween(text, u'\n');
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

void out(const QString &line)
{
    put(stdout, forPeople(line) + QLatin1Char('\n'));
}

void write(const QString &text)
{
    put(stdout, forPeople(text));
}

void err(const QString &line)
{
    put(stderr, forPeople(line) + QLatin1Char('\n'));
}

void errWrite(const QString &text)
{
    put(stderr, neutralizeBetween(text, u'\n', u'\r'));
}

void json(const QJsonArray &array)
{
    raw(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
}

void json(const QJsonObject &object)
{
    raw(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

void raw(const QString &text)
{
    put(stdout, text);
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing || QChar::category(c) == QChar::Mark_Enclosing)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const auto &row : rows)
        for (int column = 0; column < row.size(); ++column) {
            if (widths.size() <= column)
                widths.append(0);
            widths[column] = std::max(widths[column], displayWidth(row[column]));
        }
    QString text;
    for (const auto &row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column) {
            line += row[column];
            if (column + 1 < row.size())
                line += QString(widths[column] - displayWidth(row[column]) + 2, QLatin1Char(' '));
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace CliOutput
