// The parameter manager's list: the drive it belongs to, which definitions
// it shows under the chosen category or group, the checks the definitions
// allow before a write or a file, and the category list with the user's
// groups. The transfers, the storage commands and the files stay in
// ParameterManage.cpp.

#include <QCoreApplication>
#include <QResizeEvent>
#include <algorithm>
#include <vector>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterChecks.h"
#include "gui/widgets/GuiState.h"
#include "gui/widgets/HelpWindow.h"
#include "gui/params/ParameterManage.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/ProgramDatabase.h"

namespace hx::gui {

// ---------------------------------------------------------------------------
// Whose list it is

CParameterManage::DriveKey CParameterManage::CurrentDrive() const {
    return DriveKey{m_drive.comm()->ConnectionSerial(), m_drive.station()};
}

void CParameterManage::forgetList(const QString& why) {
    m_bHasParameters = false;
    m_tableComplete = false;
    m_tableDrive.reset();
    m_otherModel.clear();
    m_list->clearRows();
    m_progress->hide();
    m_percent->hide();
    updateControls();
    ShowMessage(this, why, windowTitle(), MessageIcon::Warning);
}

bool CParameterManage::refuseOtherDrivesList() {
    if (!m_tableDrive || *m_tableDrive == CurrentDrive()) return false;
    forgetList(tr("参数列表是从另一台驱动器读出的，不能写入现在连接的驱动器（站号 %1）。列表已清空，请重新读参数。")
                   .arg(m_drive.station()));
    return true;
}

void CParameterManage::OnConnected(const hx::DriveHandle& drive) {
    m_drive = drive;
    if (!m_tableDrive || *m_tableDrive == CurrentDrive()) return;
    // Work on the old drive's list ends at its next block; what it brings is dropped.
    m_readJob.requestStop();
    m_writeJob.requestStop();
    forgetList(tr("已连接到 %1 站号 %2。参数列表是从原来的驱动器读出的，已清空，以免写入这台驱动器。请重新读参数。")
                   .arg(QString::fromStdString(m_drive.comm()->PortName()))
                   .arg(m_drive.station()));
}

void CParameterManage::RefreshFromDrive() {
    if (m_closing) return;
    if (busy()) {
        m_readAgain = true;
        return;
    }
    StartReadAll();
}

// ---------------------------------------------------------------------------
// The parameter list

bool CParameterManage::filterShows(const std::string& pageNumber, uint16_t address,
                                   const std::vector<uint16_t>& members) const {
    switch (m_filter.kind) {
    case Filter::All: return true;
    case Filter::Category: return pageNumber == m_filter.name;
    case Filter::Group: return std::binary_search(members.begin(), members.end(), address);
    }
    return true;
}

void CParameterManage::FillParameterList(uint16_t first, uint16_t last) {
    m_list->setUpdatesEnabled(false);
    m_list->clearRows();
    const bool everyone = g_accessLevel == AccessLevel::Administrator;
    std::vector<uint16_t> members;
    try {
        if (m_filter.kind == Filter::Group) {
            members = hx::ParameterGroups(m_db).GroupMembers(m_filter.name);
            std::sort(members.begin(), members.end());
        }
        m_definitions = hx::ReadDefinitions(m_db, g_driveModel, hx::DefinitionOrder::AsListed);
    } catch (const DbError& e) {
        m_definitions.clear();
        m_list->setUpdatesEnabled(true);
        if (std::string(e.Description()) == "Recordset State is closed")
            ShowMessage(this, QStringLiteral("Recordset State is closed"));
        else
            ShowDatabaseError(this, e.Description());
        return;
    }
    // The types describe the whole table, whatever part of it is listed.
    hx::RegisterTypes(m_definitions, theParameterTable);
    // No values to show (the list of another drive was cleared): no rows.
    if (!m_bHasParameters) {
        m_list->setUpdatesEnabled(true);
        return;
    }
    for (const hx::ParameterDefinition& d : m_definitions) {
        const uint16_t address = d.address;
        if (address < first || address > last || !CParameter::IsParameterAddress(address)) continue;
        if (theParameterTable.TestAttribute(address) != 1 && !everyone) continue;
        if (!filterShows(d.pageNumber, address, members)) continue;
        const int32_t value = theParameterTable.GetValue(address);
        const int row = m_list->appendRow({QString::number(address), QString::fromStdString(d.name), QString::number(value),
                                           QString::fromStdString(d.scope), QString::fromStdString(d.defaultValue), QString::fromStdString(d.units),
                                           QString::fromStdString(d.remark)});
        const auto range = hx::ParseScope(d.scope);
        if (range && (value < range->min || value > range->max))
            m_list->setRowOutOfRange(row, true, tr("数值超出参数取值范围 %1").arg(QString::fromStdString(d.scope)));
    }
    m_list->fitColumnsToContents();
    m_list->setUpdatesEnabled(true);
}

bool CParameterManage::refuseWithoutDefinitions(const QString& caption) {
    if (!m_definitions.empty()) return false;
    ShowMessage(this,
                tr("没有当前驱动器型号的参数定义（数据库不可用），无法得知各参数的数据类型，"
                   "32位参数会被存错或读错，因此不能保存或读入参数文件。"),
                caption, MessageIcon::Warning);
    return true;
}

bool CParameterManage::confirmWriteAll() {
    QStringList reasons;
    int outside = 0;
    QString example;
    for (const hx::ParameterDefinition& d : m_definitions) {
        if (!CParameter::IsParameterAddress(d.address)) continue;
        const auto range = hx::ParseScope(d.scope);
        const int32_t value = theParameterTable.GetValue(d.address);
        if (!range || (value >= range->min && value <= range->max)) continue;
        if (outside++ == 0) example = QString::fromStdString(d.name) + QStringLiteral(" = ") + QString::number(value) +
                                      QStringLiteral(" (") + QString::fromStdString(d.scope) + QStringLiteral(")");
    }
    if (outside > 0) reasons << tr("参数列表中有 %1 个参数超出取值范围，例如 %2。").arg(outside).arg(example);
    if (!m_otherModel.isEmpty())
        reasons << tr("参数文件取自驱动器型号 %1，当前驱动器为 %2。").arg(m_otherModel, QString::fromStdString(g_productModel));
    if (reasons.isEmpty()) return true;
    return AskYesNo(this, reasons.join(QLatin1Char('\n')) + QLatin1Char('\n') + tr("仍然将这些参数写入驱动器吗？"),
                    tr("写参数"), MessageIcon::Warning, true);
}

void CParameterManage::ShowParameterHelp(const QString& topic) {
    if (!HelpWindow::instance()->openPage(ParameterHelpPath(topic)))
        ShowMessage(this, tr("没有找到参数“%1”的说明页。").arg(topic), tr("参数说明"), MessageIcon::Information);
}

// ---------------------------------------------------------------------------
// Categories and groups

QStringList CParameterManage::groupNames() const {
    QStringList names;
    for (const std::string& g : m_listing.groups) names << QString::fromStdString(g);
    return names;
}

void CParameterManage::FillCategoryList() {
    m_fillingCategories = true;
    m_categoryList->clear();
    m_listing = {};
    hx::GroupResult result;
    try {
        result = hx::ParameterGroups(m_db).FillCategoryList(g_driveModel, &m_listing);
    } catch (const DbError& e) {
        result = {hx::GroupOutcome::DatabaseError, e.Description()};
    }
    for (const std::string& entry : m_listing.Entries())
        m_categoryList->addItem(entry == hx::kAllParametersEntry
                                    ? QCoreApplication::translate("ParameterGroups", hx::kAllParametersEntry)
                                    : QString::fromStdString(entry));
    m_categoryList->setCurrentRow(0);
    m_list->setGroupNames(groupNames());
    m_fillingCategories = false;
    // A longer name may widen the left column.
    QResizeEvent relayout(size(), size());
    resizeEvent(&relayout);

    if (result.outcome == hx::GroupOutcome::RecordsetClosed)
        ShowMessage(this, QStringLiteral("Recordset State is closed"));
    else if (result.outcome == hx::GroupOutcome::DatabaseError)
        ShowDatabaseError(this, result.databaseError.c_str());

    // The selection is back on "全部参数".
    if (m_filter.kind != Filter::All) onCategoryChosen(0);
}

void CParameterManage::onCategoryChosen(int row) {
    if (m_fillingCategories) return;
    Filter filter;
    const int categories = static_cast<int>(m_listing.categories.size());
    const int group = m_listing.GroupOfEntry(row);
    if (group >= 0) {
        filter = {Filter::Group, m_listing.groups[static_cast<std::size_t>(group)]};
    } else if (row >= 1 && row <= categories) {
        filter = {Filter::Category, m_listing.categories[static_cast<std::size_t>(row - 1)]};
    }
    if (filter.kind == m_filter.kind && filter.name == m_filter.name) return;
    m_filter = filter;
    // The table belongs to running work; the list follows when it ends.
    if (busy()) {
        m_refillPending = true;
        return;
    }
    FillParameterList(0, 31999);
}

void CParameterManage::AddGroup() {
    std::vector<std::string> entries;
    for (int i = 0; i < m_categoryList->count(); ++i) entries.push_back(m_categoryList->item(i)->text().toStdString());
    const hx::GroupResult result = hx::ParameterGroups(m_db).AddGroup(m_nameEdit->text().toStdString(), entries);
    switch (result.outcome) {
    case hx::GroupOutcome::LengthError:
        ShowMessage(this, tr("自定义设定名称长度不符合,请输入一个长度为3 ~ 20 的字符串!"), tr("输入错误"),
                    MessageIcon::Warning);
        return;
    case hx::GroupOutcome::Duplicate:
        ShowMessage(this, tr("已存在同名的设定项,请新输入!"), tr("名称重复"));
        return;
    case hx::GroupOutcome::DatabaseError:
    case hx::GroupOutcome::RecordsetClosed:
        ShowMessage(this, QString::fromStdString(result.databaseError));
        return;
    case hx::GroupOutcome::Done:
    case hx::GroupOutcome::Ignored: break;
    }
    FillCategoryList();
    m_nameEdit->clear();
    CloseNameField();
    ShowMessage(this, tr("您现在可以从参数列表中选择自已的分类参数!"), tr("添加自定义设定项成功"),
                MessageIcon::Information);
}

void CParameterManage::DeleteGroup() {
    const int row = m_categoryList->currentRow();
    const int group = row < 0 ? -1 : m_listing.GroupOfEntry(row);
    if (group < 0) {
        ShowMessage(this, tr("只能删除用户自定义的设定选项,固有的选项不能删除!"), tr("删除设定项"),
                    MessageIcon::Warning);
        return;
    }
    const hx::GroupResult result =
        hx::ParameterGroups(m_db).DeleteGroup(m_listing.groups[static_cast<std::size_t>(group)]);
    if (result.outcome == hx::GroupOutcome::DatabaseError) ShowMessage(this, QString::fromStdString(result.databaseError));
    FillCategoryList();
}

void CParameterManage::AddToGroup(uint16_t address, const QString& name, int group) {
    if (m_categoryList->count() <= 1 || group < 0 || group >= static_cast<int>(m_listing.groups.size())) return;
    const std::string groupName = m_listing.groups[static_cast<std::size_t>(group)];
    const hx::GroupResult result = hx::ParameterGroups(m_db).AddToGroup(address, name.toStdString(), groupName);
    if (result.outcome == hx::GroupOutcome::DatabaseError) ShowMessage(this, QString::fromStdString(result.databaseError));
}

void CParameterManage::RemoveFromGroup(uint16_t address, int group) {
    if (m_categoryList->count() <= 1 || group < 0 || group >= static_cast<int>(m_listing.groups.size())) return;
    const std::string groupName = m_listing.groups[static_cast<std::size_t>(group)];
    const hx::GroupResult result = hx::ParameterGroups(m_db).RemoveFromGroup(address, groupName);
    if (result.outcome == hx::GroupOutcome::DatabaseError) {
        ShowMessage(this, QString::fromStdString(result.databaseError));
        return;
    }
    // A group on show loses the row at once.
    if (m_filter.kind == Filter::Group && m_filter.name == groupName && !busy()) FillParameterList(0, 31999);
}


}  // namespace hx::gui
