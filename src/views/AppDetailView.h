#pragma once

#include <QWidget>

#include <functional>
#include <optional>

#include "models/AppInstallStatus.h"
#include "models/AppItem.h"

struct AppContext;
class ActionButton;
class AppIconView;
class QAbstractButton;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class UninstallPanel;

// One record in full: icon, names, the install control, saving to the
// library, the homepage link, the key facts, the description and the version
// history with a download button per version.
//
// The record is a copy taken when the page opens; its install status and the
// "已在应用库" mark come from the services and follow them live.
class AppDetailView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDetailView)

public:
    AppDetailView(AppContext &context, const AppItem &app, const QString &backTitle, std::function<void()> onBack,
                  QWidget *parent = nullptr);

    const AppItem &app() const { return m_app; }

    // Version rows shown at first, and added by each "显示更多版本".
    static constexpr int versionPageSize = 30;

    // The about text: the description without a Homebrew source note, else
    // the summary, else "暂无详细描述".
    static QString descriptionText(const AppItem &app);
    // A homepage worth a link: a valid address with a scheme and a host.
    static bool isLinkableHomepage(const std::optional<QString> &homepage);

    // Opens the inline uninstall confirmation, when the app is installed.
    void askToUninstall();

private:
    void buildHeader(QVBoxLayout *page, const QString &backTitle);
    void buildVersions(QVBoxLayout *page);
    // Adds the next page of version rows.
    void showMoreVersions();
    QWidget *versionRow(const AppVersion &entry);
    void refreshLibraryMark();
    void refreshStatus();
    void rebuildFacts(const AppInstallStatus &status);
    void saveToLibrary();

    AppContext &m_context;
    AppItem m_app;
    std::function<void()> m_onBack;
    QScrollArea *m_scroll = nullptr;
    AppIconView *m_icon = nullptr;
    ActionButton *m_actionButton = nullptr;
    UninstallPanel *m_uninstall = nullptr;
    QWidget *m_saveButton = nullptr;
    QWidget *m_inLibraryMark = nullptr;
    QWidget *m_saveFailedMark = nullptr;
    QWidget *m_facts = nullptr;
    QVBoxLayout *m_versionSection = nullptr;
    QAbstractButton *m_moreVersions = nullptr;
    qsizetype m_shownVersions = 0;
    std::optional<AppInstallStatus> m_shownStatus;
};
