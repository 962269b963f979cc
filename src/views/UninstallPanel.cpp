#include "views/UninstallPanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "models/ZelvoError.h"
#include "services/AppStoreService.h"
#include "services/InstalledDetector.h"
#include "services/UpdateCenter.h"
#include "services/UpdateFinder.h"
#include "views/AppContext.h"
#include "views/components/ChipButton.h"
#include "views/components/Labels.h"
#include "views/components/MessageLine.h"
#include "views/components/SymbolTextButton.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"
#include "views/components/ThemeWatcher.h"

namespace {

} // namespace

UninstallPanel::UninstallPanel(AppContext &context, const AppItem &app, QWidget *parent)
    : QWidget(parent), m_context(context), m_app(app)
{
    setObjectName(QStringLiteral("uninstallPanel"));
    m_start = new SymbolTextButton(QStringLiteral("trash"), 12, QStringLiteral("卸载"), this);
    m_start->setObjectName(QStringLiteral("uninstallButton"));
    m_start->setFontSpec(12, QFont::Medium);
    connect(m_start, &QAbstractButton::clicked, this, &UninstallPanel::askToConfirm);

    m_confirm = new QWidget(this);
    m_confirm->setObjectName(QStringLiteral("uninstallConfirmation"));
    m_confirm->setAutoFillBackground(true);
    m_question = Labels::text(QString(), 12, QFont::Medium, &ThemeColor::primary, ThemeFont::Face::PingFang,
                              m_confirm);
    m_question->setObjectName(QStringLiteral("uninstallQuestion"));
    m_question->setWordWrap(true);
    m_leftovers = new QVBoxLayout;
    m_leftovers->setSpacing(2);
    m_confirmButton = ChipButton::action(QStringLiteral("confirmUninstallButton"), QStringLiteral("确认卸载"), m_confirm);
    m_cancelButton = ChipButton::action(QStringLiteral("cancelUninstallButton"), QStringLiteral("取消"), m_confirm);
    connect(m_confirmButton, &QAbstractButton::clicked, this, &UninstallPanel::uninstall);
    connect(m_cancelButton, &QAbstractButton::clicked, this, [this] { setConfirming(false); });
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_confirmButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    auto *box = new QVBoxLayout(m_confirm);
    box->setContentsMargins(12, 10, 12, 10);
    box->setSpacing(8);
    box->addWidget(m_question);
    box->addLayout(m_leftovers);
    box->addLayout(buttons);

    m_result = new MessageLine(this);
    m_result->setObjectName(QStringLiteral("uninstallResult"));
    m_result->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_start, 0, Qt::AlignLeft);
    layout->addWidget(m_confirm);
    layout->addWidget(m_result);
    setConfirming(false);
    ThemeWatcher::follow(this, [this](const QPalette &theme) { applyColors(theme); });
}

bool UninstallPanel::isConfirming() const
{
    return !m_confirm->isHidden();
}

void UninstallPanel::askToConfirm()
{
    if (isConfirming() || m_running)
        return;
    const AppInstallStatus status = InstalledDetector::checkStatus(m_app, m_context.store.installedAppMap());
    if (!status.isInstalledOrUpdatable())
        return;
    const bool viaBrew = m_context.updates.installedCask(m_app).has_value();
    m_question->setText(viaBrew ? QStringLiteral("将通过 Homebrew 卸载「%1」。").arg(m_app.displayName())
                                : QStringLiteral("将「%1」移到废纸篓？之后可以从废纸篓中恢复。")
                                      .arg(QFileInfo(status.path).fileName()));
    showLeftovers({});
    m_result->hide();
    setConfirming(true);
    const QString token = UpdateFinder::caskTokenOf(m_app);
    if (token.isEmpty())
        return;
    QPointer<UninstallPanel> self(this);
    m_context.updates.uninstaller().findLeftovers(token).then(QCoreApplication::instance(),
                                                              [self](const QStringList &paths) {
                                                                  if (self && self->isConfirming())
                                                                      self->showLeftovers(paths);
                                                              });
}

void UninstallPanel::setConfirming(bool confirming)
{
    m_confirm->setVisible(confirming);
    m_start->setVisible(!confirming && m_installed);
}

void UninstallPanel::setInstalled(bool installed)
{
    m_installed = installed;
    if (!installed && !m_running)
        setConfirming(false);
    m_start->setVisible(installed && !isConfirming());
}

void UninstallPanel::showLeftovers(const QStringList &paths)
{
    qDeleteAll(m_leftoverBoxes);
    m_leftoverBoxes.clear();
    while (QLayoutItem *item = m_leftovers->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (paths.isEmpty())
        return;
    m_leftovers->addWidget(Labels::text(QStringLiteral("同时移到废纸篓的残留文件："), 11, QFont::Normal,
                                        &ThemeColor::secondary, ThemeFont::Face::PingFang, m_confirm));
    for (const QString &path : paths) {
        auto *box = new QCheckBox(path, m_confirm);
        box->setObjectName(QStringLiteral("leftoverBox"));
        ThemeFont::apply(box, 11);
        m_leftoverBoxes << box;
        m_leftovers->addWidget(box);
    }
}

void UninstallPanel::uninstall()
{
    const AppInstallStatus status = InstalledDetector::checkStatus(m_app, m_context.store.installedAppMap());
    if (m_running || !status.isInstalledOrUpdatable())
        return;
    QStringList chosen;
    for (const QCheckBox *box : std::as_const(m_leftoverBoxes))
        if (box->isChecked())
            chosen << box->text();
    m_running = true;
    m_confirmButton->setEnabled(false);
    m_cancelButton->setEnabled(false);
    m_question->setText(QStringLiteral("正在卸载…"));
    QPointer<UninstallPanel> self(this);
    const QString name = m_app.displayName();
    m_context.updates.uninstaller()
        .uninstall(status.path, m_context.updates.installedCask(m_app), chosen)
        .then(QCoreApplication::instance(),
              [self, name](const QStringList &failures) {
                  if (!self)
                      return;
                  self->m_running = false;
                  self->setConfirming(false);
                  if (failures.isEmpty())
                      self->m_result->setMessage(QStringLiteral("checkmark.circle.fill"),
                                                 QStringLiteral("已卸载「%1」").arg(name), &ThemeColor::green);
                  else
                      self->m_result->setMessage(QStringLiteral("exclamationmark.triangle.fill"),
                                                 QStringLiteral("已卸载「%1」，但有残留文件未能移除：").arg(name) +
                                                     failures.join(QStringLiteral("；")),
                                                 &ThemeColor::red);
                  self->m_result->show();
              })
        .onFailed(QCoreApplication::instance(), [self](const std::exception &error) {
            if (!self)
                return;
            self->m_running = false;
            self->m_confirmButton->setEnabled(true);
            self->m_cancelButton->setEnabled(true);
            self->setConfirming(false);
            self->m_result->setMessage(QStringLiteral("xmark.circle.fill"), QStringLiteral("卸载失败：") + errorText(error),
                                       &ThemeColor::red);
            self->m_result->show();
        });
}

void UninstallPanel::applyColors(const QPalette &pal)
{
    m_start->setColor(ThemeColor::red(pal));
    QPalette boxPalette = m_confirm->palette();
    boxPalette.setColor(QPalette::Window, ThemeColor::withOpacity(ThemeColor::red(pal), 0.08));
    m_confirm->setPalette(boxPalette);
    const QColor border = ThemeColor::withOpacity(ThemeColor::primary(pal), 0.15);
    m_confirmButton->setStyles(PillStyle{ThemeColor::red(pal), ThemeColor::onAccent(pal), {}, 0});
    m_cancelButton->setStyles(PillStyle{ThemeColor::controlBackground(pal), ThemeColor::primary(pal), border, 1});
}
