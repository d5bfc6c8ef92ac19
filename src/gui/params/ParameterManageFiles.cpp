// The parameter manager's files: a description, saving the table to a
// parameter file, loading one into the table, and the comparison window.
// The transfers and storage commands stay in ParameterManage.cpp.

#include <QFile>
#include <QPushButton>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterChecks.h"
#include "core/params/ParameterFile.h"
#include "gui/params/ParameterCompare.h"
#include "gui/params/ParameterFileDialog.h"
#include "gui/params/ParameterManage.h"
#include "gui/params/ParameterRemark.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {
namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }
std::string toStd(const QString& text) { return text.toStdString(); }
// Paths go to the file layer in the system's file name encoding.
std::string toPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void CParameterManage::EditDescription() {
    CParameterRemark memo(this);
    connect(&memo, &CParameterRemark::descriptionChosen, this, [this](const QString& text) { m_strDescription = text; });
    memo.exec();
}

void CParameterManage::SaveParameterFile() {
    // The table must not change under the file while it is written.
    if (refuseWhileBusy()) return;
    if (refuseWithoutDefinitions(tr("另存参数文件"))) return;
    EditDescription();
    const QString path = AskParameterFileToSave(this, tr("参数另存为"));
    if (path.isEmpty()) return;
    const hx::ParameterFileHeader header{g_productModel, g_driveSoftVersion, toStd(m_strDescription)};
    std::string error;
    if (!hx::SaveParameterFile(toPath(path), theParameterTable, header, &error)) {
        ShowMessage(this, fromStd(error), tr("另存参数文件"), MessageIcon::Warning);
        return;
    }
    ShowMessage(this, tr("另存参数文件完成！"), tr("另存参数文件"));
}

void CParameterManage::LoadParameterFile() {
    if (refuseWhileBusy()) return;
    if (refuseWithoutDefinitions(tr("读取参数列表"))) return;
    const QString path = AskParameterFileToOpen(this, tr("读取参数列表"));
    if (path.isEmpty()) return;
    // What the file leaves out stays as the table holds it: this drive's own
    // values only after a whole read of it.
    const bool tableIsThisDrives = m_tableComplete && m_tableDrive && *m_tableDrive == CurrentDrive();
    std::string information, error;
    hx::ParameterFileContents contents;
    if (!hx::LoadParameterFile(toPath(path), theParameterTable, &information, &error, &contents)) {
        ShowMessage(this, fromStd(error), tr("读取参数列表"), MessageIcon::Warning);
        return;
    }
    m_otherModel = hx::FromAnotherModel(contents, g_productModel) ? fromStd(hx::Trim(contents.HeaderValue(1)))
                                                                  : QString();
    FillParameterList(0, 31999);
    m_read->setEnabled(true);
    m_bHasParameters = true;
    m_tableComplete = tableIsThisDrives || hx::CoversWholeWrite(contents, g_firmwareVersion);
    // A file is loaded for the drive connected now.
    m_tableDrive = CurrentDrive();
    updateControls();
    ShowMessage(this, fromStd(information).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed(),
                tr("参数列表信息"));
    if (!m_tableComplete)
        ShowMessage(this, tr("参数文件没有包含全部参数，其余参数不是这台驱动器的值，不能写参数。"
                             "请先读参数，再读入此文件。"),
                    tr("读取参数列表"), MessageIcon::Warning);
    // Lines that could not be applied are said once, after the file's information.
    if (!contents.skipped.empty())
        ShowMessage(this, tr("参数文件中有些行无法读入，已跳过：") + QLatin1Char('\n') +
                              fromStd(hx::LoadSummaryText(contents, 8)),
                    tr("读取参数列表"), MessageIcon::Warning);
}

CParameterCompare* CParameterManage::OpenCompare() {
    // The comparison takes its snapshot of the table now.
    if (refuseWhileBusy()) return nullptr;
    auto* window = new CParameterCompare(this);
    window->show();
    return window;
}

}  // namespace hx::gui
