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
#include <QTest>

#include <optional>

#include "services/AppStoreService.h"
#include "support/TestFolders.h"
#include "support/TestHttpServer.h"
#include "support/TestScreenContext.h"
#include "views/AppContext.h"
#include "views/AppImportView.h"
#include "views/BrewImportSection.h"
#include "views/components/ActionButton.h"
#include "views/components/ChipButton.h"

namespace {

constexpr int kLookupTimeoutMs = 10000;

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

// A cask record as the API serves it, named after its token in capitals; homepage and url only when given.
QByteArray caskJson(const QString &token, const QString &version = "1.0", const QString &homepage = {},
                    const QString &url = {})
{
    QJsonObject object{{"token", token}, {"name", QJsonArray{token.toUpper()}}, {"version", version}};
    if (!homepage.isNull())
        object.insert(QStringLiteral("homepage"), homepage);
    if (!url.isNull())
        object.insert(QStringLiteral("url"), url);
    return QJsonDocument(object).toJson();
}

// The real services over one temporary home (TestScreenContext): the cask
// API is a local server (a cask without a route answers 404) and brew is a
// script whose `search` prints search.out and whose `info` knows no cask at
// all, so a name without an API route is not found.
struct Harness
{
    TestScreenContext screen;
    TestHttpServer &server = screen.rig.server;
    AppStoreService &store = *screen.rig.store;
    QList<AppItem> opened;
    BrewImportSection section{screen.context, [this](const AppItem &app) { opened.append(app); }};
    QLineEdit *field = section.findChild<QLineEdit *>(QStringLiteral("brewNameField"));

    explicit Harness(const QStringList &searchFinds = {}, const QStringList &served = {})
    {
        TestFolders::writeScript(bin(), QStringLiteral("brew"),
                                 "dir=\"$(dirname \"$0\")\"\nprintf '%s\\n' \"$@\" >> \"$dir/args.log\"\n"
                                 "case \"$1\" in\nsearch) cat \"$dir/search.out\" ;;\ninfo) echo '{\"casks\":[]}' ;;\n"
                                 "esac\n");
        TestFolders::writeFile(bin(), QStringLiteral("search.out"), searchFinds.join(u'\n').toUtf8());
        for (const QString &token : served)
            serve(token, caskJson(token));
        section.resize(900, 700);
        section.show();
    }

    QString bin() const { return screen.rig.root.filePath(QStringLiteral("bin")); }
    void serve(const QString &token, const QByteArray &json, TestHttpServer::Reply reply = {})
    {
        reply.body = reply.hold ? json.left(10) : json;
        server.route(QStringLiteral("/api/cask/%1.json").arg(token), reply);
    }
    // The API answers the cask's first bytes and holds the rest back until the test pushes what this returns.
    QByteArray serveHeld(const QString &token)
    {
        const QByteArray json = caskJson(token);
        serve(token, json, {.contentLength = json.size(), .hold = true});
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
    // The visible capsules' tokens, or only the highlighted ones.
    QStringList capsules(bool highlighted = false) const
    {
        QStringList tokens;
        for (const auto *capsule : section.findChildren<ChipButton *>()) {
            if (capsule->isVisible() && (!highlighted || capsule->isChecked()))
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
    void lookups_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("candidates"); // as the service orders them: each one a capsule
        QTest::addColumn<QStringList>("served");
        QTest::addColumn<QString>("shownId"); // empty: no card
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("success");
        const auto row = [](const char *name, const char *typed, const char *candidates, const char *served,
                            const char *shownId, const char *error = "", const char *success = "") {
            QTest::newRow(name) << typed << words(candidates) << words(served) << shownId << error << success;
        };
        const char *vscode = "visual-studio-code vscodium";
        row("padded upper case", "  iTerm2 ", "iterm2 iterm2@beta", "iterm2", "iterm2");
        row("exact without candidates", "rectangle", "", "rectangle", "rectangle");
        row("exact among candidates", "Rectangle", "rectangle rectangle-pro", "rectangle-pro rectangle", "rectangle");
        row("fuzzy falls back to first", "vscode", vscode, vscode, "visual-studio-code", "",
            "已为您自动模糊匹配到「visual-studio-code」，点击上方胶囊可切换其他候选。");
        row("no candidates", "\tNothing-Here ", "", "", "",
            "未找到与「Nothing-Here」相关的 Homebrew Cask 包，请检查拼写。");
        row("first candidate fails too", "vscode", vscode, "vscodium", "",
            "未找到精确匹配包「vscode」，且解析候选包失败。");
    }

    void lookups()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, served);
        QFETCH(QString, shownId);
        QFETCH(QString, error);
        QFETCH(QString, success);

        Harness h(candidates, served);
        QVERIFY(h.lookUp(typed));
        QCOMPARE(h.section.resolvedApp() ? h.section.resolvedApp()->id : QString(), shownId);
        QCOMPARE(h.shownText(QStringLiteral("idBadge")), shownId);
        QCOMPARE(h.capsules(), candidates);
        QCOMPARE(bool(h.shown(QStringLiteral("candidateBlock"))), !candidates.isEmpty());
        QCOMPARE(h.capsules(true), candidates.contains(shownId) ? QStringList{shownId} : QStringList{});
        QCOMPARE(h.errorLine(), error);
        QCOMPARE(h.successLine(), success);
    }

    void queryButtonRules()
    {
        Harness h;
        auto *button = h.section.findChild<QPushButton *>(QStringLiteral("queryButton"));
        h.field->setText(QStringLiteral(" \t "));
        QVERIFY(!button->isEnabled());
        QTest::keyClick(h.field, Qt::Key_Return); // blank: nothing starts
        QVERIFY(!h.section.isResolving());

        h.field->setText(QStringLiteral("missing"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(h.section.isResolving());
        QVERIFY(!button->isEnabled());
        QVERIFY(h.settled());
        QVERIFY(button->isEnabled());
        QVERIFY(h.errorLine().startsWith(QStringLiteral("未找到与「missing」")));
    }

    void overlappingLookupsLastToFinishWins()
    {
        Harness h({}, {QStringLiteral("fast")});
        const QByteArray rest = h.serveHeld(QStringLiteral("slow"));
        h.field->setText(QStringLiteral("slow"));
        QTest::keyClick(h.field, Qt::Key_Return);
        // Leaving the tab destroys a section while the service still works: its late answer must find nobody.
        auto *closed = new BrewImportSection(h.screen.context, {});
        closed->setPackageName(QStringLiteral("slow"));
        closed->startResolving();
        QTRY_COMPARE_WITH_TIMEOUT(h.server.heldCount(), 2, kLookupTimeoutMs);
        delete closed;

        // Return again with another name while the first lookup still waits.
        QVERIFY(h.lookUp(QStringLiteral("fast")));
        QCOMPARE(h.section.resolvedApp()->id, QStringLiteral("fast"));
        h.server.push(rest);
        QTRY_COMPARE_WITH_TIMEOUT(h.section.resolvedApp()->id, QStringLiteral("slow"), kLookupTimeoutMs);
        QCOMPARE(h.section.selectedCandidate(), std::optional(QStringLiteral("slow")));
        QCOMPARE(h.shownText(QStringLiteral("idBadge")), QStringLiteral("slow"));
        QVERIFY(!h.section.isResolving());
        QTRY_COMPARE(h.server.heldCount(), 0);
        QTest::qWait(50);
    }

    void saving_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("saved") << true;
        QTest::newRow("write fails") << false;
    }

    void saving()
    {
        QFETCH(bool, writable);
        Harness h({}, {QStringLiteral("rectangle")});
        QVERIFY(h.lookUp(QStringLiteral("rectangle")));
        QVERIFY(!h.shown(QStringLiteral("inLibraryMark")));
        // The card installs before anything is saved.
        auto *control = h.shown<ActionButton>(QStringLiteral("installControl"));
        QVERIFY(control);
        QCOMPARE(control->app(), *h.section.resolvedApp());
        QTest::mouseClick(control, Qt::LeftButton, {}, control->actionRect(ActionButton::Action::install).center());
        QTRY_VERIFY_WITH_TIMEOUT(h.brewArguments().contains("install\n--cask\nrectangle\n"), kLookupTimeoutMs);
        QVERIFY(!h.store.app(QStringLiteral("rectangle")));
        if (!writable) { // a folder where the library file belongs makes the atomic write fail
            QFile::remove(h.store.storageFilePath());
            QVERIFY(QDir().mkpath(h.store.storageFilePath()));
        }
        QTest::mouseClick(h.shown(QStringLiteral("saveButton")), Qt::LeftButton);
        if (!writable) {
            QVERIFY(h.errorLine().startsWith(QStringLiteral("保存失败: ")));
            QVERIFY(h.errorLine().size() > QStringLiteral("保存失败: ").size());
            QCOMPARE(h.successLine(), QString());
            return;
        }
        QVERIFY(!h.shown(QStringLiteral("saveButton")) && h.shown(QStringLiteral("inLibraryMark")));
        QCOMPARE(h.successLine(), QStringLiteral("已成功将「RECTANGLE」保存到本地应用库并缓存为 JSON！"));
        QCOMPARE(h.errorLine(), QString());
        QCOMPARE(h.store.app(QStringLiteral("rectangle")), h.section.resolvedApp());
        const auto saved = AppItem::listFromJson(TestFolders::readFile(h.store.storageFilePath()));
        QVERIFY(std::any_of(saved.begin(), saved.end(), [](const AppItem &app) { return app.id == "rectangle"; }));

        // The mark follows the library, whoever changes it.
        QVERIFY(h.store.removeApp(QStringLiteral("rectangle")).ok);
        QVERIFY(h.shown(QStringLiteral("saveButton")) && !h.shown(QStringLiteral("inLibraryMark")));
    }

    void switchingCandidates_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<bool>("served");
        QTest::addColumn<QString>("shownId");
        QTest::addColumn<QString>("error");
        const auto row = [](const char *name, const char *clicked, bool served, const char *shownId,
                            const char *error = "") { QTest::newRow(name) << clicked << served << shownId << error; };
        row("switch succeeds", "iterm2@beta", true, "iterm2@beta");
        row("failed switch keeps the card", "iterm2@beta", false, "iterm2",
            "解析候选包「iterm2@beta」失败: 未找到 Homebrew Cask 包：iterm2@beta");
        row("highlighted capsule does nothing", "iterm2", true, "iterm2");
    }

    void switchingCandidates()
    {
        QFETCH(QString, clicked);
        QFETCH(bool, served);
        QFETCH(QString, shownId);
        QFETCH(QString, error);

        const QStringList both{QStringLiteral("iterm2"), QStringLiteral("iterm2@beta")};
        Harness h(both, served ? both : both.mid(0, 1));
        QVERIFY(h.lookUp(QStringLiteral("vscode-typo")));
        const QString fuzzyTip = h.successLine();
        QVERIFY(!fuzzyTip.isEmpty());
        const auto requests = h.server.requests().size();
        const QByteArray brewRuns = h.brewArguments();

        QVERIFY(h.click(h.capsule(clicked)));
        QTest::qWait(100);
        QCOMPARE(h.server.requests().size() > requests, clicked != both[0]);
        QCOMPARE(h.brewArguments() == brewRuns, served);
        QCOMPARE(h.section.resolvedApp()->id, shownId);
        QCOMPARE(h.shownText(QStringLiteral("idBadge")), shownId);
        QCOMPARE(h.errorLine(), error);
        QCOMPARE(h.successLine(), fuzzyTip); // a switch leaves the green line alone
        QCOMPARE(h.capsules(true), QStringList{clicked});
        QCOMPARE(h.capsules(), both);
    }

    void drawer_data()
    {
        QTest::addColumn<QString>("homepage"); // null: absent
        QTest::addColumn<QString>("url");      // null: absent
        QTest::addColumn<bool>("homepageRow");
        const auto row = [](const char *name, const char *homepage, const char *url, bool homepageRow) {
            QTest::newRow(name) << homepage << url << homepageRow;
        };
        row("all rows", "https://example.com/app", "https://example.com/App-1.2.3.dmg", true);
        row("homepage not a URL", "example dot com", "https://example.com/a.zip", false);
        row("no homepage, no address", nullptr, nullptr, false);
    }

    void drawer()
    {
        QFETCH(QString, homepage);
        QFETCH(QString, url);
        QFETCH(bool, homepageRow);

        Harness h;
        h.serve(QStringLiteral("tool"), caskJson(QStringLiteral("tool"), "1.2.3,4567", homepage, url));
        QVERIFY(h.lookUp(QStringLiteral("tool")));
        QCOMPARE(h.shownText(QStringLiteral("versionBadge")), QStringLiteral("v1.2.3"));
        QVERIFY(!h.shown(QStringLiteral("drawer")));

        QTest::mouseClick(h.shown(QStringLiteral("drawerToggle")), Qt::LeftButton);
        QVERIFY(h.shown(QStringLiteral("drawer")));
        QCOMPARE(h.shownText(QStringLiteral("fullVersion")), QStringLiteral("1.2.3,4567"));
        // Resolved from Homebrew: installed through brew whatever the address ends in.
        QCOMPARE(h.shownText(QStringLiteral("packageMedium")), QStringLiteral("Brew 安装"));
        QCOMPARE(h.shownText(QStringLiteral("downloadAddress")), url);
        QCOMPARE(bool(h.shown(QStringLiteral("homepageLink"))), homepageRow);
        if (homepageRow)
            QVERIFY(h.shownText(QStringLiteral("homepageLink")).contains(homepage));
        auto *copy = h.shown<QPushButton>(QStringLiteral("copyAddressButton"));
        QCOMPARE(bool(copy), !url.isNull());
        if (copy) {
            QGuiApplication::clipboard()->setText(QStringLiteral("before"));
            copy->click(); // the drawer may still be opening, with the button outside its visible part
            QCOMPARE(QGuiApplication::clipboard()->text(), url);
        }

        // A new lookup keeps the drawer as it was.
        QVERIFY(h.lookUp(QStringLiteral("tool")));
        QVERIFY(h.shown(QStringLiteral("drawer")));
        QTest::mouseClick(h.shown(QStringLiteral("drawerToggle")), Qt::LeftButton);
        QVERIFY(!h.section.isDetailExpanded());
        QTRY_VERIFY(!h.shown(QStringLiteral("drawer")));
    }

    void cardOpensDetailPage()
    {
        Harness h({}, {QStringLiteral("tool")});
        QVERIFY(h.lookUp(QStringLiteral("tool")));
        // The click lands on the name inside the card's link, which must let it through.
        QVERIFY(h.click(h.shown(QStringLiteral("appName"))));
        QVERIFY(h.click(h.shown(QStringLiteral("detailButton"))));
        QCOMPARE(h.opened, QList<AppItem>(2, *h.section.resolvedApp()));

        // On the import screen the same button opens the detail page there.
        AppImportView screen(h.screen.context);
        screen.resize(900, 700);
        screen.show();
        auto *section = qobject_cast<BrewImportSection *>(screen.currentSection());
        QVERIFY(section);
        section->setPackageName(QStringLiteral("tool"));
        section->startResolving();
        QTRY_VERIFY_WITH_TIMEOUT(!section->isResolving(), kLookupTimeoutMs);
        section->findChild<QPushButton *>(QStringLiteral("detailButton"))->click();
        QVERIFY(screen.selectedDetailApp());
        QCOMPARE(screen.selectedDetailApp(), section->resolvedApp());
    }
};

QTEST_MAIN(tst_BrewImportSection)
#include "tst_BrewImportSection.moc"
