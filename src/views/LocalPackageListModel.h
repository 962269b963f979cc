#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QStringList>

#include "models/LocalPackage.h"

// The rows of the package cache list: the manager's packages in its order
// (newest first), plus what the screen alone knows about them — which are
// ticked for batch deletion and how an installation started from the screen
// is going or ended.
class LocalPackageListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPackageListModel)

public:
    enum Role {
        FilePathRole = Qt::UserRole + 1,
        FileSizeTextRole, // formatted size, and whether its SHA-256 was checked
        DateTextRole,     // creation date, date only, in the user's locale
        SymbolRole,       // symbol name of the package kind
        SelectedRole,     // bool: ticked for batch deletion
        InstallPhaseRole, // int: InstallPhase
        InstallMessageRole,
        UnfinishedRole,   // bool: a transfer's partial file, not a package to install
    };

    // confirmingDelete: the row's delete button was clicked once and asks for a second click.
    enum class InstallPhase { idle, installing, succeeded, failed, confirmingDelete };
    struct InstallState
    {
        InstallPhase phase = InstallPhase::idle;
        QString message; // installing: the latest step; succeeded: the last step; failed: the error text
        bool operator==(const InstallState &) const = default;
    };

    explicit LocalPackageListModel(QObject *parent = nullptr);

    // Replaces the rows. Ticks and finished outcomes of packages that are
    // gone are dropped, so the batch count only ever counts rows the user
    // can see; an installation still running keeps its state.
    void setPackages(QList<LocalPackage> packages);
    const QList<LocalPackage> &packages() const { return m_packages; }
    const LocalPackage &package(int row) const { return m_packages.at(row); }
    int rowOf(const QString &filePath) const { return m_rows.value(filePath, -1); }
    qint64 totalSize() const { return m_totalSize; }

    // Ticked paths, in the order they were ticked.
    const QStringList &selectedPaths() const { return m_selected; }
    bool isSelected(const QString &filePath) const { return m_selected.contains(filePath); }
    void toggleSelected(const QString &filePath);
    void clearSelection();

    InstallState installState(const QString &filePath) const { return m_installStates.value(filePath); }
    void setInstallState(const QString &filePath, const InstallState &state);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // "externaldrive.fill" for a disk image, "cube.box.fill" for an installer
    // package, "doc.zipper" for a ZIP archive, "doc.fill" for anything else.
    static QString symbolName(PackageType type);
    static QString dateText(const QDateTime &date);

Q_SIGNALS:
    void selectionChanged();

private:
    void emitRowChanged(const QString &filePath);

    QList<LocalPackage> m_packages;
    QHash<QString, int> m_rows;
    qint64 m_totalSize = 0;
    QStringList m_selected;
    QHash<QString, InstallState> m_installStates;
};
