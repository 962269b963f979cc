#include "support/TestServices.h"

#include <QDir>
#include <QProcess>
#include <QThreadPool>

#include "services/AppStoreService.h"
#include "services/BrewService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflowRegistry.h"
#include "services/InstalledDetector.h"
#include "services/InstallerService.h"
#include "services/NginxIndexParser.h"
#include "services/SourceStore.h"
#include "services/UpdateCenter.h"
#include "support/TestFolders.h"

using namespace std::chrono_literals;

TestServices::TestServices()
{
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QByteArray log = "\"" + root.filePath(QStringLiteral("bin/tools.log")).toUtf8() + "\"";
    QDir().mkpath(apps());
    detector = std::make_unique<InstalledDetector>(QStringList{apps()});
    store = std::make_unique<AppStoreService>(root.filePath(QStringLiteral("library")), *detector);
    downloads = std::make_unique<DownloadManager>(root.filePath(QStringLiteral("cache/Downloads")));
    const QString hdiutil = TestFolders::writeScript(
        bin, QStringLiteral("hdiutil"), "[ \"$1\" = attach ] && { echo 'damaged image' >&2; exit 1; }\nexit 0\n");
    Workspace::Tools workspace = Workspace::xdgOpenTools(
        TestFolders::writeScript(bin, QStringLiteral("open"), "echo \"open $*\" >> " + log + "\n"));
    workspace.launch =
        ToolCommand{TestFolders::writeScript(bin, QStringLiteral("launch"), "echo \"launch $1\" >> " + log + "\n"),
                    {QStringLiteral("{path}")}};
    installer = std::make_unique<InstallerService>(apps(), root.filePath(QStringLiteral("tmp")),
                                                   DiskImageMounter(DiskImageMounter::hdiutilTools(hdiutil)),
                                                   ZipExpander(), Workspace(workspace));
    brew = std::make_unique<BrewService>(server.url(QString()).toString(), QStringList{brewPath()}, nullptr, 5s);
    scraper = std::make_unique<NginxIndexParser>();
    registry = std::make_unique<InstallWorkflowRegistry>(*store, *downloads, *installer, *brew);
    sources = std::make_unique<SourceStore>(root.filePath(QStringLiteral("library")));
    registry->setConsole([this](const QString &line) { console << line; });
    updates = std::make_unique<UpdateCenter>(*store, *registry, *brew, Caskroom({caskroom()}), QStringList{root.path()});
    updates->queue().setConsole([this](const QString &line) { console << line; });
    updates->uninstaller().setConsole([this](const QString &line) { console << line; });
}

TestServices::~TestServices()
{
    // A scan still running on the pool reads the detector and the folders.
    QThreadPool::globalInstance()->waitForDone();
}

QString TestServices::cache() const
{
    return downloads->cacheDirectory();
}

QByteArray TestServices::toolLog() const
{
    return TestFolders::readFile(root.filePath(QStringLiteral("bin/tools.log")));
}

void TestServices::routeQuarterThenHold(const QString &path)
{
    TestHttpServer::Reply held;
    held.body = QByteArray(250, 'x');
    held.contentLength = 1000;
    held.hold = true;
    server.route(path, held);
}

void TestServices::writeBrew(const QByteArray &output, int status)
{
    const QByteArray log = "\"" + root.filePath(QStringLiteral("bin/tools.log")).toUtf8() + "\"";
    TestFolders::writeScript(root.filePath(QStringLiteral("bin")), QStringLiteral("brew"),
                             "echo \"brew $*\" >> " + log + "\nprintf '" + output + "'\nexit " +
                                 QByteArray::number(status) + "\n");
}

bool TestServices::cacheZip(const QString &fileName, const QString &bundleVersion)
{
    const QString staging = root.filePath(QStringLiteral("staging"));
    QDir(staging).removeRecursively();
    TestFolders::makeBundle(staging, QStringLiteral("Foo"), QStringLiteral("com.example.foo"), bundleVersion);
    QProcess tar;
    tar.start(QStringLiteral("bsdtar"), {QStringLiteral("-a"), QStringLiteral("-cf"), QDir(cache()).filePath(fileName),
                                         QStringLiteral("-C"), staging, QStringLiteral("Foo.app")});
    const bool made = tar.waitForFinished(30000) && tar.exitCode() == 0;
    downloads->refreshLocalPackages();
    return made;
}

void TestServices::installFoo(const QString &bundleVersion)
{
    QDir(QDir(apps()).filePath(QStringLiteral("Foo.app"))).removeRecursively();
    TestFolders::makeBundle(apps(), QStringLiteral("Foo"), QStringLiteral("com.example.foo"), bundleVersion);
    store->setInstalledAppMap(detector->scanInstalledApps());
}
