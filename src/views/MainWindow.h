#pragma once

#include <QMainWindow>

#include <memory>

#include "views/AppContext.h"

class MainView;
class ScreenFactory;

// The one window: the sidebar and the selected destination's screen, the
// View menu, and the downloads badge fed from the download records.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(AppContext &context, QWidget *parent = nullptr);
    ~MainWindow() override;

    MainView &mainView() const { return *m_view; }

private:
    std::unique_ptr<ScreenFactory> m_screens;
    MainView *m_view = nullptr;
};
