#include "gui/backup/GateMessages.h"

#include <QCoreApplication>
#include <QString>

#include "gui/widgets/Messages.h"

namespace hx::gui {

bool OfferToGoOnWithoutBackup(QWidget* parent, const GateResult& gate, const DriveHandle& drive) {
    const QString why = QString::fromStdString(gate.message);
    const QString caption = QCoreApplication::translate("BackupGate", "参数未写入");
    if (!gate.canGoOnWithout()) {
        ShowMessage(parent, why, caption, MessageIcon::Warning);
        return false;
    }
    // Once, and only when the user says so: the next change goes without a
    // backup, the one after it is gated again.
    const QString question =
        why + QStringLiteral("\n\n") +
        QCoreApplication::translate("BackupGate", "不备份、仅此一次写入驱动器吗？写入前的参数将无法恢复。");
    if (!AskYesNo(parent, question, caption, MessageIcon::Warning, true)) return false;
    ChangeGate::Instance().AllowOnceWithoutBackup(drive);
    return true;
}

}  // namespace hx::gui
