#include "gui/widgets/CommonTexts.h"

#include <QCoreApplication>

#include "core/i18n/StringTable.h"
#include "core/writes/StorageCommand.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

QString TableText(int id) { return QString::fromStdString(hx::LoadString(id)); }

bool ConfirmSaveToDrive(QWidget* parent) {
    // Built-in English in both languages, as users have always seen it.
    return AskYesNo(parent,
                    QStringLiteral("Current settings won't be recoverable after parameters saved. Do you want to continue?"),
                    QStringLiteral("Save Configuration Confirmation"), MessageIcon::Warning, true);
}

void ShowSaveToDriveOutcome(QWidget* parent, const hx::StorageResult& result) {
    if (result.succeeded())
        ShowMessage(parent, QCoreApplication::translate("StorageMessages", "保存驱动器当前设置成功!"),
                    QCoreApplication::translate("StorageMessages", "保存成功"));
    else if (result.outcome == hx::StorageOutcome::MayHaveStored)
        ShowMessage(parent,
                    QCoreApplication::translate("StorageMessages",
                                                "保存命令的应答丢失，驱动器可能已经保存了参数。驱动器现在没有在保存"
                                                "（地址 90 已回到 0），但无法确认是否保存成功，请再保存一次。"),
                    QCoreApplication::translate("StorageMessages", "保存结果不确定"), MessageIcon::Warning);
    else if (result.outcome == hx::StorageOutcome::RunInProgress)
        ShowMessage(parent,
                    QCoreApplication::translate("StorageMessages",
                                                "试运行正在进行，没有保存：运行期间驱动器的通信超时设置是试运行临时设定的，"
                                                "保存会使它在下次上电后仍然生效。请在试运行结束后再保存。"),
                    QCoreApplication::translate("StorageMessages", "保存失败"), MessageIcon::Warning);
    else
        ShowMessage(parent, QCoreApplication::translate("StorageMessages", "保存驱动器当前设置失败!"),
                    QCoreApplication::translate("StorageMessages", "保存失败"));
}

}  // namespace hx::gui
