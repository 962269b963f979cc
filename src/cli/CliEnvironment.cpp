#include "CliEnvironment.h"

#include <QDir>

#include "platform/Platform.h"

namespace {

QStringList pathList(const QString &value)
{
    return value.split(QDir::listSeparator(), Qt::SkipEmptyParts);
}

} // namespace

CliEnvironment CliEnvironment::from(const QProcessEnvironment &environment)
{
    CliEnvironment result;
    result.libraryFolder = Platform::libraryFolder();
    result.cacheFolder = Platform::packageCacheFolder();
    result.applicationFolders = environment.contains(QStringLiteral("ZELVO_APPLICATION_FOLDERS"))
                                    ? pathList(environment.value(QStringLiteral("ZELVO_APPLICATION_FOLDERS")))
                                    : Platform::applicationFolders();
    result.installTarget = environment.value(QStringLiteral("ZELVO_INSTALL_TARGET"), Platform::installTargetFolder());
    result.brewApi = environment.value(QStringLiteral("ZELVO_BREW_API"));
    result.brewPaths = pathList(environment.value(QStringLiteral("ZELVO_BREW_PATHS")));
    return result;
}

QString CliEnvironment::variablesHelp()
{
    return QStringLiteral(
        "环境变量（供脚本与测试使用）:\n"
        "  ZELVO_LIBRARY_DIR              应用库 apps.json 所在的目录（窗口程序同样读取）\n"
        "  ZELVO_CACHE_DIR                安装包缓存目录（窗口程序同样读取）\n"
        "  ZELVO_SETTINGS_FILE            代替系统设置存储的 INI 文件（窗口程序同样读取）\n"
        "  ZELVO_APPLICATION_FOLDERS      扫描已安装应用的目录，以 ':' 分隔\n"
        "  ZELVO_INSTALL_TARGET           安装应用的目标目录\n"
        "  ZELVO_BREW_API                 Homebrew Cask JSON API 的基础地址\n"
        "  ZELVO_BREW_PATHS               brew 可执行文件的候选路径，以 ':' 分隔\n"
        "\n"
        "退出状态: 0 成功, 1 失败, 2 用法错误。");
}
