#include "CliParser.h"

#include <QCoreApplication>

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

CliParser::CliParser(QString path, const QString &description) : m_path(std::move(path))
{
    m_parser.setApplicationDescription(description);
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示此帮助")));
}

void CliParser::addFlag(const QString &name, const QString &description)
{
    m_parser.addOption(QCommandLineOption(name, description));
}

void CliParser::addValueOption(const QString &name, const QString &description, const QString &valueName)
{
    m_parser.addOption(QCommandLineOption(name, description, valueName));
}

void CliParser::addJsonFlag()
{
    addFlag(QStringLiteral("json"), QStringLiteral("以 JSON 输出（应用记录与版本的形式与 apps.json 相同）"));
}

void CliParser::addPositional(const QString &name, const QString &description, const QString &syntax)
{
    m_parser.addPositionalArgument(name, description, syntax);
}

std::optional<int> CliParser::parse(const QStringList &arguments, int minPositional, int maxPositional)
{
    if (!m_parser.parse(QStringList{m_path} + arguments))
        return usageError(m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help"))) {
        CliOutput::write(helpText());
        return exitSuccess;
    }
    const auto count = m_parser.positionalArguments().size();
    if (count < minPositional)
        return usageError(QStringLiteral("缺少参数"));
    if (maxPositional >= 0 && count > maxPositional)
        return usageError(QStringLiteral("多余的参数: ") + m_parser.positionalArguments().mid(maxPositional).join(u' '));
    return std::nullopt;
}

QString CliParser::helpText() const
{
    // Qt writes "Usage: <argv[0]> [options] …" and English headings; the
    // tool speaks the window's language and names the whole command path.
    QStringList lines = m_parser.helpText().split(QLatin1Char('\n'));
    if (!lines.isEmpty()) {
        QString usage = lines.first();
        const QString program = QCoreApplication::arguments().value(0);
        const auto at = usage.indexOf(program);
        usage = at >= 0 ? usage.mid(at + program.size()) : QString();
        usage.replace(QStringLiteral("[options]"), QStringLiteral("[选项]"));
        lines.first() = QStringLiteral("用法: ") + m_path + usage;
    }
    for (auto &line : lines) {
        if (line == QLatin1String("Options:"))
            line = QStringLiteral("选项:");
        else if (line == QLatin1String("Arguments:"))
            line = QStringLiteral("参数:");
    }
    QString text = lines.join(QLatin1Char('\n'));
    if (!m_epilog.isEmpty())
        text += QLatin1Char('\n') + m_epilog + QLatin1Char('\n');
    return text;
}

int CliParser::usageError(const QString &message) const
{
    CliOutput::err(m_path + QStringLiteral(": ") + message);
    CliOutput::err(QStringLiteral("用法说明请见 '") + m_path + QStringLiteral(" --help'"));
    return exitUsage;
}
