#include "views/LocalPackageListModel.h"

#include <QLocale>

LocalPackageListModel::LocalPackageListModel(QObject *parent) : QAbstractListModel(parent) {}

void LocalPackageListModel::setPackages(QList<LocalPackage> packages)
{
    beginResetModel();
    m_packages = std::move(packages);
    m_rows.clear();
    m_rows.reserve(m_packages.size());
    m_totalSize = 0;
    for (int row = 0; row < m_packages.size(); ++row) {
        m_rows.insert(m_packages.at(row).filePath, row);
        m_totalSize += m_packages.at(row).fileSize;
    }
    for (auto it = m_installStates.begin(); it != m_installStates.end();) {
        if (it->phase != InstallPhase::installing && !m_rows.contains(it.key()))
            it = m_installStates.erase(it);
        else
            ++it;
    }
    const qsizetype ticked = m_selected.size();
    m_selected.removeIf([this](const QString &path) { return !m_rows.contains(path); });
    endResetModel();
    if (m_selected.size() != ticked)
        Q_EMIT selectionChanged();
}

void LocalPackageListModel::toggleSelected(const QString &filePath)
{
    if (!m_selected.removeOne(filePath))
        m_selected.append(filePath);
    emitRowChanged(filePath);
    Q_EMIT selectionChanged();
}

void LocalPackageListModel::clearSelection()
{
    if (m_selected.isEmpty())
        return;
    const QStringList was = std::exchange(m_selected, {});
    for (const QString &path : was)
        emitRowChanged(path);
    Q_EMIT selectionChanged();
}

void LocalPackageListModel::setInstallState(const QString &filePath, const InstallState &state)
{
    if (installState(filePath) == state)
        return;
    // A package that left the list keeps no outcome: nothing would show it.
    if (state.phase == InstallPhase::idle || (state.phase != InstallPhase::installing && !m_rows.contains(filePath)))
        m_installStates.remove(filePath);
    else
        m_installStates.insert(filePath, state);
    emitRowChanged(filePath);
}

void LocalPackageListModel::emitRowChanged(const QString &filePath)
{
    const int row = rowOf(filePath);
    if (row < 0)
        return;
    const QModelIndex changed = index(row);
    Q_EMIT dataChanged(changed, changed);
}

int LocalPackageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_packages.size());
}

QVariant LocalPackageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const LocalPackage &package = m_packages.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return package.fileName;
    case FilePathRole:
        return package.filePath;
    case FileSizeTextRole:
        return package.verified ? package.formattedSize + QStringLiteral(" · 已校验") : package.formattedSize;
    case DateTextRole:
        return dateText(package.creationDate);
    case SymbolRole:
        return symbolName(package.packageType);
    case SelectedRole:
        return isSelected(package.filePath);
    case InstallPhaseRole:
        return int(installState(package.filePath).phase);
    case InstallMessageRole:
        return installState(package.filePath).message;
    case UnfinishedRole:
        return package.unfinished;
    default:
        return {};
    }
}

QHash<int, QByteArray> LocalPackageListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(FilePathRole, "filePath");
    names.insert(FileSizeTextRole, "formattedSize");
    names.insert(DateTextRole, "dateText");
    names.insert(SymbolRole, "symbol");
    names.insert(SelectedRole, "selected");
    names.insert(InstallPhaseRole, "installPhase");
    names.insert(InstallMessageRole, "installMessage");
    return names;
}

QString LocalPackageListModel::symbolName(PackageType type)
{
    switch (type) {
    case PackageType::dmg:
        return QStringLiteral("externaldrive.fill");
    case PackageType::pkg:
        return QStringLiteral("cube.box.fill");
    case PackageType::zip:
        return QStringLiteral("doc.zipper");
    case PackageType::brew:
    case PackageType::unknown:
        break;
    }
    return QStringLiteral("doc.fill");
}

QString LocalPackageListModel::dateText(const QDateTime &date)
{
    return QLocale().toString(date.toLocalTime().date(), QLocale::ShortFormat);
}
