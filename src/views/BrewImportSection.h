#pragma once

#include <QWidget>

#include <functional>

#include "models/AppItem.h"

struct AppContext;

// PLACEHOLDER — the Homebrew quick-entry tab is not built yet. This class only
// fixes the seam the import screen uses: construct it with the context and the
// action that opens a record's detail page. Replace its body (keeping this
// constructor) with the real section.
class BrewImportSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrewImportSection)

public:
    using OpenDetail = std::function<void(const AppItem &)>;

    BrewImportSection(AppContext &context, OpenDetail onOpenDetail, QWidget *parent = nullptr);

private:
    OpenDetail m_onOpenDetail;
};
