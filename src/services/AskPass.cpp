#include "services/AskPass.h"

#include <QFile>

#include <cstdio>

namespace AskPass {

namespace {

const char *word(Outcome outcome)
{
    switch (outcome) {
    case Outcome::answered:
        return "answered";
    case Outcome::cancelled:
        return "cancelled";
    case Outcome::noTerminal:
        break;
    }
    return "no-terminal";
}

} // namespace

bool requested()
{
    return !qEnvironmentVariableIsEmpty(statusVariable);
}

QString question()
{
    return QStringLiteral("Homebrew 需要管理员权限才能完成安装，请输入本机登录密码：");
}

int finish(Outcome outcome, const QString &password)
{
    QFile status(qEnvironmentVariable(statusVariable));
    if (status.open(QIODevice::WriteOnly | QIODevice::Truncate))
        status.write(word(outcome));
    if (outcome != Outcome::answered)
        return 1;
    const QByteArray line = password.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

std::optional<Outcome> recorded(const QString &statusPath)
{
    QFile status(statusPath);
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = status.read(32);
    for (const auto outcome : {Outcome::answered, Outcome::cancelled, Outcome::noTerminal})
        if (text == word(outcome))
            return outcome;
    return std::nullopt;
}

} // namespace AskPass
