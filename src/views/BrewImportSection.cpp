#include "views/BrewImportSection.h"

#include <QVBoxLayout>

#include "views/AppContext.h"
#include "views/components/FormStyle.h"

BrewImportSection::BrewImportSection(AppContext &context, OpenDetail onOpenDetail, QWidget *parent)
    : QWidget(parent), m_onOpenDetail(std::move(onOpenDetail))
{
    Q_UNUSED(context);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(FormStyle::sectionHeading(QStringLiteral("Homebrew 包名解析"), QStringLiteral("即将推出")));
}
