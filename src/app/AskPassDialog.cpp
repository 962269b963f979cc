#include "app/AskPassDialog.h"

#include <QInputDialog>
#include <QLineEdit>

#include "services/AskPass.h"

namespace AskPassDialog {

int run()
{
    QInputDialog dialog;
    dialog.setWindowTitle(QStringLiteral("需要管理员密码"));
    dialog.setLabelText(AskPass::question());
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("好"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    // Started by sudo in the background: without this the question could hide behind the store's own window.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted)
        return AskPass::finish(AskPass::Outcome::cancelled);
    return AskPass::finish(AskPass::Outcome::answered, dialog.textValue());
}

} // namespace AskPassDialog
