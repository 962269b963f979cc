#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// The option parser of one command level, so that --help, usage errors and
// their exit status behave the same at every level.
class CliParser final
{
public:
    CliParser(QString path, const QString &description);

    QCommandLineParser &parser() { return m_parser; }
    void addFlag(const QString &name, const QString &description);
    void addValueOption(const QString &name, const QString &description, const QString &valueName);
    // --json: records and versions in their apps.json form, the rest as plain objects.
    void addJsonFlag();
    bool json() const { return m_parser.isSet(QStringLiteral("json")); }
    void addPositional(const QString &name, const QString &description, const QString &syntax = QString());
    // Text printed after the options (sub-commands, environment).
    void setEpilog(QString epilog) { m_epilog = std::move(epilog); }

    // Parses the command's own arguments (without the command path). Returns
    // an exit status when the command is done already (help printed, usage
    // error), nothing when it should run. positional limits the number of
    // positional arguments (maxPositional < 0: no upper limit).
    std::optional<int> parse(const QStringList &arguments, int minPositional = 0, int maxPositional = 0);

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList positional() const { return m_parser.positionalArguments(); }

    QString helpText() const;
    // Prints the message and how to get help to standard error; returns exitUsage.
    int usageError(const QString &message) const;

private:
    QString m_path;
    QString m_epilog;
    QCommandLineParser m_parser;
};
