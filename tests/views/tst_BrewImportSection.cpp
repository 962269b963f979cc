#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include "services/AppStoreService.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "support/TestScreenContext.h"
#include "views/AppContext.h"
#include "views/AppDetailView.h"
#include "views/AppImportView.h"
#include "views/BrewImportSection.h"
#include "views/components/ActionButton.h"
#include "views/components/ChipButton.h"

namespace {

constexpr int kLookupTimeoutMs = 10000;

struct Cask
{
    QString token;
    QString name;
    QString version = QStringLiteral("1.0");
    std::optional<QString> homepage;
    std::optional<QString> url;
};

QByteArray caskJson(const Cask &cask)
{
    QJsonObject object{{QStringLiteral("token"), cask.token},
                       {QStringLiteral("name"), QJsonArray{cask.name}},
                       {QStringLiteral("desc"), cask.name + QStringLiteral(" for tests")},
                       {QStringLiteral("version"), cask.version}};
    if (cask.homepage)
        object.insert(QStringLiteral("homepage"), *cask.homepage);
    if (cask.url)
        object.insert(QStringLiteral("url"), *cask.url);
    return QJsonDocument(object).toJson();
}

// The real services over one temporary home (TestScreenContext): the cask
// API is a local server (a cask without a route answers 404) and brew is a
// script whose `search` prints search.out and whose `info` knows no cask at
// all, so a name without an API route is not found.
struct Harness
{
    TestScreenContext screen;
    TestServices &rig = screen.rig;
    TestHttpServer &server = rig.server;
    AppStoreService &store = *rig.store;
    AppContext &context = screen.context;
    QList<AppItem> opened;
    BrewImportSection section{context, [this](const AppItem &app) { opened.append(app); }};

    Harness()
    {
        TestFolders::writeScript(bin(), QStringLiteral("brew"),
                                 "dir=\"$(dirname \"$0\")\"\n"
                                 "printf '%s\\n' \"$@\" >> \"$dir/args.log\"\n"
                                 "case \"$1\" in\n"
                                 "search) cat \"$dir/search.out\" 2>/dev/null ;;\n"
                                 "info) echo '{\"casks\":[]}' ;;\n"
                                 "esac\n");
        section.resize(900, 700);
        section.show();
    }

    QString bin() const { return rig.root.filePath(QStringLiteral("bin")); }
    void searchFinds(const QStringList &tokens)
    {
        TestFolders::writeFile(bin(), QStringLiteral("search.out"), tokens.join(QLatin1Char('\n')).toUtf8());
    }
    void serve(const Cask &cask)
    {
        server.routeBody(QStringLiteral("/api/cask/%1.json").arg(cask.token), caskJson(cask), "application/json");
    }
    // The API answers the cask's first bytes and holds the rest back until
    // the test pushes what this returns.
    QByteArray serveHeld(const Cask &cask)
    {
        const QByteArray json = caskJson(cask);
        TestHttpServer::Reply held;
        held.body = json.left(10);
        held.contentLength = json.size();
        held.hold = true;
        server.route(QStringLiteral("/api/cask/%1.json").arg(cask.token), held);
        return json.mid(10);
    }
    QByteArray brewArguments() const { return TestFolders::readFile(bin() + QStringLiteral("/args.log")); }

    template <typename T = QWidget> T *shown(const QString &name) const
    {
        for (T *widget : section.findChildren<T *>(name)) {
            if (widget->isVisible())
                return widget;
        }
        return nullptr;
    }
    QString shownText(const QString &name) const
    {
        const QLabel *label = shown<QLabel>(name);
        return label ? label->text() : QString();
    }
    QStringList capsules() const
    {
        QStringList tokens;
        for (const auto *capsule : section.findChildren<ChipButton *>()) {
            if (capsule->isVisible())
                tokens.append(capsule->text());
        }
        return tokens;
    }
    QStringList highlighted() const
    {
        QStringList tokens;
        for (const auto *capsule : section.findChildren<ChipButton *>()) {
            if (capsule->isVisible() && capsule->isChecked())
                tokens.append(capsule->text());
        }
        return tokens;
    }
    ChipButton *capsule(const QString &token) const
    {
        for (auto *capsule : section.findChildren<ChipButton *>()) {
            if (capsule->isVisible() && capsule->text() == token)
                return capsule;
        }
        return nullptr;
    }
    QString errorLine() const { return shown(QStringLiteral("errorLine")) ? *section.errorMessage() : QString(); }
    QString successLine() const { return shown(QStringLiteral("successLine")) ? *section.successTip() : QString(); }

    // Types name and presses Return, then waits for the lookup to end.
    bool lookUp(const QString &name)
    {
        auto *field = section.findChild<QLineEdit *>(QStringLiteral("brewNameField"));
        field->setText(name);
        QTest::keyClick(field, Qt::Key_Return);
        return settled();
    }
    // Waits for the lookup to end and the new card to be laid out.
    bool settled()
    {
        const bool ended = QTest::qWaitFor([this] { return !section.isResolving(); }, kLookupTimeoutMs);
        QCoreApplication::processEvents();
        return ended;
    }
    bool click(QWidget *widget)
    {
        if (!widget)
            return false;
        QTest::mouseClick(widget, Qt::LeftButton);
        return settled();
    }
};

} // namespace

class tst_BrewImportSection final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void shortVersion_data();
    void shortVersion();
    void lookups_data();
    void lookups();
    void queryButtonRules();
    void overlappingLookupsLastToFinishWins();
    void savingFlipsToInLibrary();
    void failedWriteIsReported();
    void clickingHighlightedCapsuleDoesNothing();
    void switchingCandidates_data();
    void switchingCandidates();
    void cardOpensDetailPage();
    void drawer_data();
    void drawer();
    void copyPutsAddressOnClipboard();
    void sectionClosedDuringLookup();
    void previewInstallsBeforeSaving();
    void importScreenShowsDetailPage();
};

void tst_BrewImportSection::initTestCase()
{
    static QTemporaryDir settingsDir;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void tst_BrewImportSection::shortVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("badge");
    QTest::newRow("build after comma") << "1.2.3,4567"
                                       << "1.2.3";
    QTest::newRow("plain") << "latest"
                           << "latest";
    QTest::newRow("leading comma") << ",2.0,abc"
                                   << "2.0";
    QTest::newRow("only commas") << ",,"
                                 << ",,";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_BrewImportSection::shortVersion()
{
    QFETCH(QString, version);
    QFETCH(QString, badge);
    QCOMPARE(BrewImportSection::shortVersion(version), badge);
}

void tst_BrewImportSection::lookups_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("candidates"); // as brew search prints them
    QTest::addColumn<QStringList>("capsules");   // as the service orders them
    QTest::addColumn<QStringList>("served");
    QTest::addColumn<QString>("shownId"); // empty: no card
    QTest::addColumn<QStringList>("highlighted");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("success");

    const QStringList none;
    const QStringList iterm{"iterm2", "iterm2@beta"};
    const QStringList rectangles{"rectangle", "rectangle-pro"};
    const QStringList vscode{"visual-studio-code", "vscodium"};
    QTest::newRow("padded upper case") << "  iTerm2 " << iterm << iterm << QStringList{"iterm2"} << "iterm2"
                                       << QStringList{"iterm2"} << QString() << QString();
    QTest::newRow("exact without candidates")
        << "rectangle" << none << none << QStringList{"rectangle"} << "rectangle" << none << QString() << QString();
    QTest::newRow("exact among candidates")
        << "Rectangle" << QStringList{"rectangle-pro", "rectangle"} << rectangles << rectangles << "rectangle"
        << QStringList{"rectangle"} << QString() << QString();
    QTest::newRow("fuzzy falls back to first")
        << "vscode" << QStringList{"vscodium", "visual-studio-code"} << vscode << vscode << "visual-studio-code"
        << QStringList{"visual-studio-code"} << QString()
        << QStringLiteral("已为您自动模糊匹配到「visual-studio-code」，点击上方胶囊可切换其他候选。");
    QTest::newRow("no candidates") << "\tNothing-Here " << none << none << none << QString() << none
                                   << QStringLiteral("未找到与「Nothing-Here」相关的 Homebrew Cask 包，请检查拼写。")
                                   << QString();
    QTest::newRow("first candidate fails too")
        << "vscode" << vscode << vscode << QStringList{"vscodium"} << QString() << none
        << QStringLiteral("未找到精确匹配包「vscode」，且解析候选包失败。") << QString();
}

void tst_BrewImportSection::lookups()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, candidates);
    QFETCH(QStringList, capsules);
    QFETCH(QStringList, served);
    QFETCH(QString, shownId);
    QFETCH(QStringList, highlighted);
    QFETCH(QString, error);
    QFETCH(QString, success);

    Harness h;
    h.searchFinds(candidates);
    for (const QString &token : served)
        h.serve({token, token.toUpper()});

    QVERIFY(h.lookUp(typed));
    const QString trimmed = typed.trimmed();
    QVERIFY(h.brewArguments().startsWith("search\n--casks\n" + trimmed.toLower().toUtf8() + "\n"));
    QCOMPARE(h.section.resolvedApp().has_value(), !shownId.isEmpty());
    if (!shownId.isEmpty()) {
        QCOMPARE(h.section.resolvedApp()->id, shownId);
        QVERIFY(h.shown(QStringLiteral("previewCard")));
        QCOMPARE(h.shown<QLabel>(QStringLiteral("idBadge"))->text(), shownId);
    } else {
        QVERIFY(!h.shown(QStringLiteral("previewCard")));
    }
    QCOMPARE(h.capsules(), capsules);
    QCOMPARE(bool(h.shown(QStringLiteral("candidateBlock"))), !capsules.isEmpty());
    QCOMPARE(h.highlighted(), highlighted);
    QCOMPARE(h.errorLine(), error);
    QCOMPARE(h.successLine(), success);
}

void tst_BrewImportSection::queryButtonRules()
{
    Harness h;
    h.searchFinds({});
    auto *field = h.section.findChild<QLineEdit *>(QStringLiteral("brewNameField"));
    auto *button = h.section.findChild<QPushButton *>(QStringLiteral("queryButton"));
    QVERIFY(!button->isEnabled());
    field->setText(QStringLiteral(" \t "));
    QVERIFY(!button->isEnabled());
    QTest::keyClick(field, Qt::Key_Return); // blank: nothing starts
    QVERIFY(!h.section.isResolving());
    QCOMPARE(h.brewArguments(), QByteArray());

    field->setText(QStringLiteral("missing"));
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("查询解析"));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(h.section.isResolving());
    QVERIFY(!button->isEnabled());
    QVERIFY(button->text().isEmpty()); // the spinner shows instead
    QVERIFY(field->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!h.section.isResolving(), kLookupTimeoutMs);
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("查询解析"));
    QVERIFY(h.errorLine().startsWith(QStringLiteral("未找到与「missing」")));
}

void tst_BrewImportSection::overlappingLookupsLastToFinishWins()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("fast"), QStringLiteral("Fast")});
    const QByteArray rest = h.serveHeld({QStringLiteral("slow"), QStringLiteral("Slow")});

    auto *field = h.section.findChild<QLineEdit *>(QStringLiteral("brewNameField"));
    field->setText(QStringLiteral("slow"));
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(h.server.heldCount(), 1, kLookupTimeoutMs);

    // Return again with another name while the first lookup still waits.
    QVERIFY(h.lookUp(QStringLiteral("fast")));
    QCOMPARE(h.section.resolvedApp()->id, QStringLiteral("fast"));

    h.server.push(rest);
    QTRY_COMPARE_WITH_TIMEOUT(h.section.resolvedApp()->id, QStringLiteral("slow"), kLookupTimeoutMs);
    QCOMPARE(h.section.selectedCandidate(), std::optional(QStringLiteral("slow")));
    QCOMPARE(h.shown<QLabel>(QStringLiteral("idBadge"))->text(), QStringLiteral("slow"));
    QVERIFY(!h.section.isResolving());
}

void tst_BrewImportSection::savingFlipsToInLibrary()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("rectangle"), QStringLiteral("Rectangle"), QStringLiteral("0.85")});
    QVERIFY(h.lookUp(QStringLiteral("rectangle")));
    QVERIFY(h.shown(QStringLiteral("saveButton")));
    QVERIFY(!h.shown(QStringLiteral("inLibraryMark")));

    QTest::mouseClick(h.shown(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(!h.shown(QStringLiteral("saveButton")));
    QVERIFY(h.shown(QStringLiteral("inLibraryMark")));
    QCOMPARE(h.successLine(), QStringLiteral("已成功将「Rectangle」保存到本地应用库并缓存为 JSON！"));
    QCOMPARE(h.errorLine(), QString());
    QCOMPARE(h.store.app(QStringLiteral("rectangle")), h.section.resolvedApp());
    const auto saved = AppItem::listFromJson(TestFolders::readFile(h.store.storageFilePath()));
    QVERIFY(std::any_of(saved.begin(), saved.end(), [](const AppItem &app) { return app.id == "rectangle"; }));

    // The mark follows the library, whoever changes it.
    QVERIFY(h.store.removeApp(QStringLiteral("rectangle")).ok);
    QVERIFY(h.shown(QStringLiteral("saveButton")));
    QVERIFY(!h.shown(QStringLiteral("inLibraryMark")));
}

void tst_BrewImportSection::failedWriteIsReported()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("rectangle"), QStringLiteral("Rectangle")});
    QVERIFY(h.lookUp(QStringLiteral("rectangle")));

    // A folder where the library file belongs makes the atomic write fail.
    QFile::remove(h.store.storageFilePath());
    QVERIFY(QDir().mkpath(h.store.storageFilePath()));
    QTest::mouseClick(h.shown(QStringLiteral("saveButton")), Qt::LeftButton);
    QVERIFY(h.errorLine().startsWith(QStringLiteral("保存失败: ")));
    QVERIFY(h.errorLine().size() > QStringLiteral("保存失败: ").size());
    QCOMPARE(h.successLine(), QString());
}

void tst_BrewImportSection::clickingHighlightedCapsuleDoesNothing()
{
    Harness h;
    h.searchFinds({QStringLiteral("iterm2"), QStringLiteral("iterm2@beta")});
    h.serve({QStringLiteral("iterm2"), QStringLiteral("iTerm2")});
    QVERIFY(h.lookUp(QStringLiteral("iterm2")));
    const auto requests = h.server.requests().size();
    const QByteArray brewRuns = h.brewArguments();

    QTest::mouseClick(h.capsule(QStringLiteral("iterm2")), Qt::LeftButton);
    QVERIFY(!h.section.isResolving());
    QTest::qWait(100);
    QCOMPARE(h.server.requests().size(), requests);
    QCOMPARE(h.brewArguments(), brewRuns);
    QCOMPARE(h.highlighted(), QStringList{QStringLiteral("iterm2")});
    QCOMPARE(h.section.resolvedApp()->id, QStringLiteral("iterm2"));
}

void tst_BrewImportSection::switchingCandidates_data()
{
    QTest::addColumn<bool>("served");
    QTest::addColumn<QString>("shownId");
    QTest::addColumn<QString>("error");
    QTest::newRow("switch succeeds") << true << "iterm2@beta" << QString();
    QTest::newRow("failed switch keeps the card")
        << false << "iterm2" << QStringLiteral("解析候选包「iterm2@beta」失败: 未找到 Homebrew Cask 包：iterm2@beta");
}

void tst_BrewImportSection::switchingCandidates()
{
    QFETCH(bool, served);
    QFETCH(QString, shownId);
    QFETCH(QString, error);

    Harness h;
    h.searchFinds({QStringLiteral("iterm2"), QStringLiteral("iterm2@beta")});
    h.serve({QStringLiteral("iterm2"), QStringLiteral("iTerm2")});
    if (served)
        h.serve({QStringLiteral("iterm2@beta"), QStringLiteral("iTerm2 Beta")});
    QVERIFY(h.lookUp(QStringLiteral("vscode-typo")));
    const QString fuzzyTip = h.successLine();
    QVERIFY(!fuzzyTip.isEmpty());

    QVERIFY(h.click(h.capsule(QStringLiteral("iterm2@beta"))));
    QCOMPARE(h.section.resolvedApp()->id, shownId);
    QCOMPARE(h.shown<QLabel>(QStringLiteral("idBadge"))->text(), shownId);
    QCOMPARE(h.errorLine(), error);
    QCOMPARE(h.successLine(), fuzzyTip); // a switch leaves the green line alone
    QCOMPARE(h.highlighted(), QStringList{QStringLiteral("iterm2@beta")});
    QCOMPARE(h.capsules(), (QStringList{QStringLiteral("iterm2"), QStringLiteral("iterm2@beta")}));
}

void tst_BrewImportSection::cardOpensDetailPage()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("rectangle"), QStringLiteral("Rectangle")});
    QVERIFY(h.lookUp(QStringLiteral("rectangle")));

    // The click lands on the name inside the card's link, which must let it through.
    auto *name = h.shown(QStringLiteral("appName"));
    QVERIFY(name);
    QTest::mouseClick(name, Qt::LeftButton);
    QTest::mouseClick(h.shown(QStringLiteral("detailButton")), Qt::LeftButton);
    QCOMPARE(h.opened.size(), 2);
    QCOMPARE(h.opened.first(), *h.section.resolvedApp());
    QCOMPARE(h.opened.last(), *h.section.resolvedApp());
}

void tst_BrewImportSection::drawer_data()
{
    QTest::addColumn<QString>("homepage"); // null: absent
    QTest::addColumn<QString>("url");      // null: absent
    QTest::addColumn<bool>("homepageRow");

    QTest::newRow("all rows") << "https://example.com/app"
                              << "https://example.com/App-1.2.3.dmg" << true;
    QTest::newRow("homepage not a URL") << "example dot com"
                                        << "https://example.com/a.zip" << false;
    QTest::newRow("homepage without host") << "mailto:x"
                                           << "https://example.com/a.zip" << false;
    QTest::newRow("no homepage, no address") << QString() << QString() << false;
}

void tst_BrewImportSection::drawer()
{
    QFETCH(QString, homepage);
    QFETCH(QString, url);
    QFETCH(bool, homepageRow);

    const auto optional = [](const QString &text) { return text.isNull() ? std::nullopt : std::optional(text); };
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("tool"), QStringLiteral("Tool"), QStringLiteral("1.2.3,4567"), optional(homepage),
             optional(url)});
    QVERIFY(h.lookUp(QStringLiteral("tool")));
    QCOMPARE(h.shownText(QStringLiteral("versionBadge")), QStringLiteral("v1.2.3"));
    QVERIFY(!h.shown(QStringLiteral("drawer")));

    QTest::mouseClick(h.shown(QStringLiteral("drawerToggle")), Qt::LeftButton);
    QVERIFY(h.section.isDetailExpanded());
    QVERIFY(h.shown(QStringLiteral("drawer")));
    QCOMPARE(h.shownText(QStringLiteral("fullVersion")), QStringLiteral("1.2.3,4567"));
    // Resolved from Homebrew: installed through brew whatever the address ends in.
    QCOMPARE(h.shownText(QStringLiteral("packageMedium")), QStringLiteral("Brew 安装"));
    QCOMPARE(h.shownText(QStringLiteral("downloadAddress")), url);
    QCOMPARE(bool(h.shown(QStringLiteral("copyAddressButton"))), !url.isNull());
    QCOMPARE(bool(h.shown(QStringLiteral("homepageLink"))), homepageRow);
    if (homepageRow)
        QVERIFY(h.shownText(QStringLiteral("homepageLink")).contains(homepage));

    // A new lookup keeps the drawer as it was.
    QVERIFY(h.lookUp(QStringLiteral("tool")));
    QVERIFY(h.section.isDetailExpanded());
    QVERIFY(h.shown(QStringLiteral("drawer")));

    QTest::mouseClick(h.shown(QStringLiteral("drawerToggle")), Qt::LeftButton);
    QVERIFY(!h.section.isDetailExpanded());
    QTRY_VERIFY(!h.shown(QStringLiteral("drawer")));
}

void tst_BrewImportSection::copyPutsAddressOnClipboard()
{
    Harness h;
    h.searchFinds({});
    const QString address = QStringLiteral("https://example.com/downloads/Tool-1.0.dmg");
    h.serve({QStringLiteral("tool"), QStringLiteral("Tool"), QStringLiteral("1.0"), std::nullopt, address});
    QVERIFY(h.lookUp(QStringLiteral("tool")));
    h.section.setDetailExpanded(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    auto *copy = h.shown<QPushButton>(QStringLiteral("copyAddressButton"));
    QVERIFY(copy);
    copy->click(); // the drawer may still be opening, with the button outside its visible part
    QCOMPARE(QGuiApplication::clipboard()->text(), address);
}

void tst_BrewImportSection::sectionClosedDuringLookup()
{
    // Leaving the tab destroys the section while the service still works;
    // the late answer must find nobody to write to.
    Harness h;
    h.searchFinds({QStringLiteral("tool")});
    const QByteArray rest = h.serveHeld({QStringLiteral("tool"), QStringLiteral("Tool")});

    auto *section = new BrewImportSection(h.context, {});
    section->setPackageName(QStringLiteral("tool"));
    section->startResolving();
    QTRY_COMPARE_WITH_TIMEOUT(h.server.heldCount(), 1, kLookupTimeoutMs);
    delete section;
    h.server.push(rest);
    QTRY_COMPARE(h.server.heldCount(), 0);
    QTest::qWait(50);
}

void tst_BrewImportSection::previewInstallsBeforeSaving()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("tool"), QStringLiteral("Tool")});
    QVERIFY(h.lookUp(QStringLiteral("tool")));
    auto *control = h.shown<ActionButton>(QStringLiteral("installControl"));
    QVERIFY(control);
    QCOMPARE(control->app(), *h.section.resolvedApp());
    QCOMPARE(control->visibleTexts(), QStringList{QStringLiteral("获取")});

    QTest::mouseClick(control, Qt::LeftButton, {}, control->actionRect(ActionButton::Action::install).center());
    QTRY_VERIFY_WITH_TIMEOUT(h.brewArguments().contains("install\n--cask\ntool\n"), kLookupTimeoutMs);
    QVERIFY(!h.store.app(QStringLiteral("tool"))); // installing does not save
}

void tst_BrewImportSection::importScreenShowsDetailPage()
{
    Harness h;
    h.searchFinds({});
    h.serve({QStringLiteral("tool"), QStringLiteral("Tool")});
    AppImportView screen(h.context);
    screen.resize(900, 700);
    screen.show();
    auto *section = qobject_cast<BrewImportSection *>(screen.currentSection());
    QVERIFY(section);
    section->setPackageName(QStringLiteral("tool"));
    section->startResolving();
    QTRY_VERIFY_WITH_TIMEOUT(!section->isResolving(), kLookupTimeoutMs);

    section->findChild<QPushButton *>(QStringLiteral("detailButton"))->click();
    QCOMPARE(screen.selectedDetailApp(), section->resolvedApp());
    auto *detail = qobject_cast<AppDetailView *>(screen.detailPage());
    QVERIFY(detail);
    QCOMPARE(detail->app().id, QStringLiteral("tool"));
}

QTEST_MAIN(tst_BrewImportSection)
#include "tst_BrewImportSection.moc"
