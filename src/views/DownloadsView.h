#pragma once

#include <QHash>
#include <QList>
#include <QWidget>

#include "models/LocalPackage.h"
#include "views/AppContext.h"
#include "views/LocalPackageDelegate.h"

class ChipButton;
class DownloadTaskCard;
class LocalPackageListModel;
class InstallWorkflow;
class LocalPackageListView;
class QBoxLayout;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// The downloads destination: the downloads of this run with their live
// progress, and the package cache with everything the user does to it —
// install, show in the file manager, delete one, a ticked selection or all.
// All it shows comes from the download manager, which it observes; it owns
// only the selection and the state of installations started here.
class DownloadsView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadsView)

public:
    explicit DownloadsView(AppContext &context, QWidget *parent = nullptr);
    ~DownloadsView() override;

    // Installs a cached package off the main thread. Progress goes to
    // standard output as "安装进度: …", a failure as "安装失败: …"; the row
    // shows the installation while it runs and its outcome afterwards. On
    // success the installed applications are scanned afresh into the store.
    void installPackage(const LocalPackage &package);
    void installForRecord(InstallWorkflow &workflow, const QString &path);

    // Paths ticked for batch deletion, in the order they were ticked.
    QStringList selectedPackagePaths() const;
    LocalPackageListModel &packageModel() const { return *m_packages; }
    LocalPackageListView &packageList() const { return *m_list; }
    QList<DownloadTaskCard *> taskCards() const { return m_cards; }

    static QString title() { return QStringLiteral("下载与安装包管理"); }
    static QString batchDeleteTitle(int count);
    static QString cacheSummary(int count, qint64 totalBytes);

Q_SIGNALS:
    // An installation started here has ended (its row shows the outcome).
    void installFinished(const QString &packagePath, bool succeeded);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
    void arrangeHeader();
    QWidget *buildActiveSection();
    QWidget *buildLocalSection();
    void showTasks();
    void showTask(const QString &key);
    void showRunningCount();
    void showPackages();
    void showSelection();
    void onPartClicked(int row, LocalPackageDelegate::Part part);
    void deleteSelected();
    void clearAll();
    void setConfirmingClearAll(bool confirming);
    void applyColors(const QPalette &pal);

    AppContext &m_context;
    LocalPackageListModel *m_packages = nullptr;

    QWidget *m_header = nullptr;
    QBoxLayout *m_headerLayout = nullptr;
    QHBoxLayout *m_headerButtons = nullptr;
    QCheckBox *m_autoInstall = nullptr;
    ChipButton *m_openFolder = nullptr;
    ChipButton *m_batchDelete = nullptr;
    ChipButton *m_clearAll = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_subtitle = nullptr;
    QScrollArea *m_scroll = nullptr;

    QWidget *m_activeSection = nullptr;
    QLabel *m_activeTitle = nullptr;
    QVBoxLayout *m_cardLayout = nullptr;
    QList<DownloadTaskCard *> m_cards;

    QLabel *m_localTitle = nullptr;
    QLabel *m_summary = nullptr;
    QWidget *m_emptyState = nullptr;
    QLabel *m_emptyIcon = nullptr;
    QLabel *m_emptyText = nullptr;
    LocalPackageListView *m_list = nullptr;
    bool m_confirmingClearAll = false;
};
