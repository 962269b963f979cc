#include "views/components/ActionButton.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include "services/AppStoreService.h"
#include "services/DownloadManager.h"
#include "services/InstallWorkflow.h"
#include "services/InstallWorkflowRegistry.h"
#include "views/AppContext.h"
#include "views/components/PillPainter.h"
#include "views/components/ThemeColor.h"
#include "views/components/ThemeFont.h"

ActionButton::ActionButton(const AppItem &app, InstallWorkflowRegistry &registry, QWidget *parent)
    : QWidget(parent), m_app(app), m_registry(registry)
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Declared so a change of the text scale re-lays the control out.
    ThemeFont::apply(this, 13, QFont::DemiBold);

    m_spinnerTimer.setInterval(InstallControlPainter::spinnerFrameMs);
    connect(&m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_interaction.spinnerPhase = InstallControlPainter::spinnerPhaseNow();
        update();
    });

    connect(&registry, &InstallWorkflowRegistry::workflowChanged, this, [this](const QString &id) {
        if (id == m_app.id)
            refresh();
    });
    connect(&workflow(), &InstallWorkflow::installSucceeded, this, [this] {
        if (m_onActionCompleted)
            m_onActionCompleted();
    });
    connect(&registry.store(), &AppStoreService::installedAppMapChanged, this, &ActionButton::refresh);
    // Only this record's current-version download concerns the control.
    connect(&registry.downloads(), &DownloadManager::taskChanged, this, [this](const QString &key) {
        if (key == DownloadManager::taskKey(m_app.id, m_app.currentVersion))
            refresh();
    });
    refresh();
}

ActionButton::ActionButton(const AppItem &app, AppContext &context, QWidget *parent)
    : ActionButton(app, context.workflows, parent)
{
}

InstallWorkflow &ActionButton::workflow()
{
    return m_registry.workflow(m_app);
}

QRect ActionButton::actionRect(Action action) const
{
    const auto parts = InstallControlPainter::layout(m_state, QRectF(rect()));
    if (action != Action::none && parts.firstAction == action)
        return parts.first.toAlignedRect();
    if (action != Action::none && parts.secondAction == action)
        return parts.second.toAlignedRect();
    return {};
}

QSize ActionButton::sizeHint() const
{
    return InstallControlPainter::sizeHint(m_state).toSize();
}

void ActionButton::refresh()
{
    const InstallControlState next = m_registry.state(m_app);
    if (next == m_state)
        return;
    const bool resized = InstallControlPainter::sizeHint(next) != InstallControlPainter::sizeHint(m_state);
    m_state = next;
    setAccessibleName(visibleTexts().join(QLatin1Char(' ')));
    if (InstallControlPainter::isAnimated(m_state))
        m_spinnerTimer.start();
    else
        m_spinnerTimer.stop();
    if (resized)
        updateGeometry();
    update();
}

void ActionButton::trigger(Action action)
{
    InstallWorkflow &flow = workflow();
    if (action == Action::open) {
        flow.openInstalled();
        return;
    }
    if (action != Action::install)
        return;
    flow.handleInstall();
}

void ActionButton::setHovered(Action action)
{
    if (m_interaction.hovered == action)
        return;
    m_interaction.hovered = action;
    setCursor(action == Action::none ? Qt::ArrowCursor : Qt::PointingHandCursor);
    update();
}

void ActionButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    InstallControlPainter::paint(&painter, QRectF(rect()), m_state, palette(), m_interaction);
    const QRectF first = InstallControlPainter::layout(m_state, QRectF(rect())).first;
    if (hasFocus() && !first.isEmpty())
        PillPainter::paintFocusRing(&painter, first, ThemeColor::accent(palette()));
}

void ActionButton::keyPressEvent(QKeyEvent *event)
{
    const Action first = InstallControlPainter::layout(m_state, QRectF(rect())).firstAction;
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return) && first != Action::none)
        trigger(first);
    else
        QWidget::keyPressEvent(event);
}

void ActionButton::mouseMoveEvent(QMouseEvent *event)
{
    setHovered(InstallControlPainter::hitTest(m_state, QRectF(rect()), event->position()));
}

void ActionButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_interaction.pressed = InstallControlPainter::hitTest(m_state, QRectF(rect()), event->position());
    update();
}

void ActionButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const Action pressed = m_interaction.pressed;
    m_interaction.pressed = Action::none;
    update();
    // A click counts only when it is released over the pill it began on.
    if (pressed != Action::none &&
        InstallControlPainter::hitTest(m_state, QRectF(rect()), event->position()) == pressed)
        trigger(pressed);
}

void ActionButton::leaveEvent(QEvent *event)
{
    setHovered(Action::none);
    QWidget::leaveEvent(event);
}

bool ActionButton::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = InstallControlPainter::toolTipAt(m_state, QRectF(rect()), help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void ActionButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}
