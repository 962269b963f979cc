#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What `zelvo` writes: results to standard output, errors and progress to
// standard error, always UTF-8 and flushed at once so output interleaves
// correctly with child processes and survives an abrupt end.
//
// Text for people carries names and ids from imports and the Homebrew API, so
// control characters and bidi overrides in it are neutralised: only line
// breaks survive (and, in progress written with errWrite, carriage returns).
// JSON and raw output are data and are written exactly.
namespace CliOutput {

void out(const QString &line);
void write(const QString &text);
void err(const QString &line);
void errWrite(const QString &text);
void json(const QJsonArray &array);
void json(const QJsonObject &object);
void raw(const QString &text);

bool stderrIsTerminal();

// Terminal columns the text takes: CJK characters count twice.
int displayWidth(const QString &text);
// Rows of cells with columns padded to their widest cell; the first row is the header.
QString table(const QList<QStringList> &rows);

} // namespace CliOutput
