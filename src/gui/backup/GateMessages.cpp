#include "gui/backup/GateMessages.h"

#include <QCoreApplication>
#include <QString>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

bool OfferToGoOnWithoutBackup(QWidget* parent, ChangeGate& changes, const GateResult& gate, const DriveHandle& drive) {
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
    changes.AllowOnceWithoutBackup(drive);
    return true;
}

void TellOfUnfinishedWrite(QWidget* parent, ChangeGate& changes, const DriveHandle& drive) {
    const auto unfinished = changes.TakeUnfinished(drive.comm()->PortName(), drive.station());
    if (!unfinished) return;
    QString text = QString::fromStdString(UnfinishedWriteText(*unfinished)) + QStringLiteral(" (") +
                   QString::fromStdString(unfinished->what) + QStringLiteral(", ") +
                   QString::fromStdString(unfinished->time) + QStringLiteral(")\n\n");
    if (unfinished->backup.empty())
        text += QCoreApplication::translate("BackupGate", "写入前没有备份。");
    else
        text += QCoreApplication::translate("BackupGate", "写入前的备份: %1\n用“显 示”菜单的“变更记录”中的“恢复到此前”可把它写回驱动器。")
                    .arg(QString::fromStdString(unfinished->backup));
    ShowMessage(parent, text, QCoreApplication::translate("BackupGate", "上次写入未完成"), MessageIcon::Warning);
}

}  // namespace hx::gui
