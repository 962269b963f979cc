#include "views/components/ThemeWatcher.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "views/components/ThemeColor.h"

// One listener for the whole app. Qt announces a new application palette to the
// application object and to windows only: children with a palette of their own, and
// widgets under a style sheet, are never told. So the hub tells every watcher itself.
class ThemeHub final : public QObject
{
public:
    static ThemeHub &instance()
    {
        if (!hub()) {
            hub() = new ThemeHub(qApp);
            qApp->installEventFilter(hub());
        }
        return *hub();
    }
    // Null once the application has gone, while the last widgets are destroyed.
    static QPointer<ThemeHub> &hub()
    {
        static QPointer<ThemeHub> instance;
        return instance;
    }

    QList<ThemeWatcher *> watchers;
    bool followsSystem = false;

    static void derivePalette()
    {
        // An empty palette hands the roles back to the platform, whose colours are what we derive from.
        QApplication::setPalette(QPalette());
        QApplication::setPalette(ThemeColor::appPalette(QApplication::palette()));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
            const QPalette theme = QApplication::palette();
            // A set-up may build or drop widgets, and with them watchers.
            QList<QPointer<ThemeWatcher>> current;
            for (ThemeWatcher *watcher : std::as_const(watchers))
                current.append(watcher);
            for (const QPointer<ThemeWatcher> &watcher : std::as_const(current)) {
                if (watcher)
                    watcher->m_apply(theme);
            }
        } else if (followsSystem && event->type() == QEvent::ThemeChange && !m_derivePending) {
            // Sent to every window; derive once for all of them.
            m_derivePending = true;
            QTimer::singleShot(0, this, [this] {
                m_derivePending = false;
                derivePalette();
            });
        }
        return false;
    }

private:
    using QObject::QObject;
    bool m_derivePending = false;
};

ThemeWatcher::ThemeWatcher(QWidget *widget, Apply apply) : QObject(widget), m_apply(std::move(apply))
{
    ThemeHub::instance().watchers.append(this);
}

ThemeWatcher::~ThemeWatcher()
{
    if (ThemeHub *hub = ThemeHub::hub())
        hub->watchers.removeOne(this);
}

void ThemeWatcher::follow(QWidget *widget, Apply apply)
{
    apply(QApplication::palette());
    new ThemeWatcher(widget, std::move(apply));
}

void ThemeWatcher::followStyleSheet(QWidget *widget, std::function<QString(const QPalette &)> sheet)
{
    follow(widget, [widget, sheet = std::move(sheet)](const QPalette &theme) { widget->setStyleSheet(sheet(theme)); });
}

void ThemeWatcher::followSystemAppearance()
{
    ThemeHub::derivePalette();
    ThemeHub::instance().followsSystem = true;
}
