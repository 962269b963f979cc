#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

#include "models/AppItem.h"
#include "models/InstallControlState.h"
#include "views/components/InstallControlPainter.h"

struct AppContext;
class InstallWorkflow;
class InstallWorkflowRegistry;

// The install / update / open control of one record as a widget. What it does
// is the record's InstallWorkflow (shared with every other control of the
// record); how it looks is InstallControlPainter. It redraws whenever the
// installed map, the downloads or the workflow's own state change.
class ActionButton final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActionButton)

public:
    using Action = InstallControlPainter::Action;

    ActionButton(const AppItem &app, InstallWorkflowRegistry &registry, QWidget *parent = nullptr);
    ActionButton(const AppItem &app, AppContext &context, QWidget *parent = nullptr);

    // Where "下载完成后自动安装" is kept (off unless the user turned it on).
    static QString installAfterDownloadKey() { return QStringLiteral("InstallAfterDownload"); }

    const AppItem &app() const { return m_app; }
    const InstallControlState &state() const { return m_state; }
    QStringList visibleTexts() const { return InstallControlPainter::texts(m_state); }
    // Where the pill of an action is, in widget coordinates; empty when not shown.
    QRect actionRect(Action action) const;

    // Called after each successful installation of the record (the workflow
    // is shared, so also one started from another control of the record).
    void setOnActionCompleted(std::function<void()> callback) { m_onActionCompleted = std::move(callback); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void trigger(Action action);
    void setHovered(Action action);
    InstallWorkflow &workflow();

    AppItem m_app;
    InstallWorkflowRegistry &m_registry;
    InstallControlState m_state;
    InstallControlPainter::Interaction m_interaction;
    QTimer m_spinnerTimer;
    std::function<void()> m_onActionCompleted;
};
