#include "core/params/ParameterGroups.h"

#include <algorithm>
#include <map>

#include "core/db/CADO.h"
#include "core/db/LocalizedField.h"
#include "core/i18n/StringTable.h"
#include "core/params/DefinitionQueries.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"
#include "core/text/Cp936.h"

namespace hx {
namespace {

std::string GroupsTable() { return SqlTableName(LoadString(50170)); }
std::string MembersTable() { return SqlTableName(LoadString(50169)); }

// A quoted literal of the name, its quotes doubled.
std::string Literal(const std::string& text) {
    std::string literal(1, '\'');
    literal += SqlQuoteText(text);
    literal += '\'';
    return literal;
}

GroupResult Failure(GroupOutcome outcome, std::string text = {}) { return {outcome, std::move(text)}; }

void EnglishCategoryLabels(CADO& db, const std::string& driveModel, std::vector<std::string>* labels) {
    // The labels are looked up after the listing's own query, so that query
    // and its order stay as they are; the list then filters by what it shows.
    std::map<std::string, std::string> english;
    db.GetRecordSet("Select * from  " + DefinitionTableName(driveModel));
    if (!db.IsRecordsetOpen() || db.IsEOF() || !db.HasField("PageNumberEn")) return;
    for (; !db.IsEOF(); db.MoveNext())
        english.emplace(db.GetFieldText("PageNumber"), LocalizedFieldText(db, "PageNumber"));
    for (auto& label : *labels)
        if (auto it = english.find(label); it != english.end()) label = it->second;
}

}  // namespace

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::vector<std::string> CategoryListing::Entries() const {
    std::vector<std::string> entries;
    entries.reserve(1 + categories.size() + groups.size());
    entries.emplace_back(kAllParametersEntry);
    entries.insert(entries.end(), categories.begin(), categories.end());
    entries.insert(entries.end(), groups.begin(), groups.end());
    return entries;
}

int CategoryListing::GroupOfEntry(int entry) const {
    int group = entry - 1 - static_cast<int>(categories.size());
    if (group < 0 || group >= static_cast<int>(groups.size())) return -1;
    return group;
}

ParameterGroups::ParameterGroups(CADO& db) : m_db(db) {}

std::string ParameterGroups::AddGroupSql(int pos, const std::string& name) {
    return "Insert into " + GroupsTable() + "(Pos,SelfDefineSettingName) " + " Values(" + std::to_string(pos) + "," +
           Literal(name) + ")";
}

std::string ParameterGroups::DeleteGroupSql(const std::string& name) {
    return "Delete From " + GroupsTable() + " Where  SelfDefineSettingName =" + Literal(name);
}

std::string ParameterGroups::DeleteGroupMembersSql(const std::string& name) {
    return "Delete From " + MembersTable() + " Where SelfDefineSettingName =" + Literal(name);
}

std::string ParameterGroups::DeleteMemberSql(uint16_t address, const std::string& groupName) {
    return "Delete From " + MembersTable() + " Where  SelfDefineSettingName =" + Literal(groupName) +
           " and  Address =" + std::to_string(address);
}

std::string ParameterGroups::InsertMemberSql(uint16_t address, const std::string& parameterName,
                                             const std::string& groupName) {
    return "Insert into " + MembersTable() + "(Address,Name,SelfDefineSettingName) " + "  Values (" +
           std::to_string(address) + "," + Literal(parameterName) + "," + Literal(groupName) + ")";
}

GroupResult ParameterGroups::Execute(const std::vector<std::string>& statements) {
    // A savepoint nests inside a transaction the caller may have open.
    try {
        m_db.ExecuteSQL("SAVEPOINT hx_groups");
    } catch (const DbError& e) {
        return Failure(GroupOutcome::DatabaseError, e.Description());
    }
    try {
        for (const auto& sql : statements) m_db.ExecuteSQL(sql);
        m_db.ExecuteSQL("RELEASE hx_groups");
    } catch (const DbError& e) {
        try {
            m_db.ExecuteSQL("ROLLBACK TO hx_groups");
            m_db.ExecuteSQL("RELEASE hx_groups");
        } catch (const DbError&) {
            // The statement's own error is the one worth reporting.
        }
        return Failure(GroupOutcome::DatabaseError, e.Description());
    }
    return {};
}

GroupResult ParameterGroups::FillCategoryList(const std::string& driveModel, CategoryListing* listing) {
    listing->categories.clear();
    listing->groups.clear();
    try {
        if (!driveModel.empty()) {
            m_db.GetRecordSet(CategoryLabelsQuery(driveModel));
            if (!m_db.IsRecordsetOpen()) return Failure(GroupOutcome::RecordsetClosed);
            for (; !m_db.IsEOF(); m_db.MoveNext()) listing->categories.push_back(m_db.GetFieldText("PageNumber"));
            if (InterfaceIsEnglish()) EnglishCategoryLabels(m_db, driveModel, &listing->categories);
        }
        m_db.GetRecordSet("Select * from  " + GroupsTable());
        if (!m_db.IsRecordsetOpen()) return Failure(GroupOutcome::RecordsetClosed);
        for (; !m_db.IsEOF(); m_db.MoveNext()) listing->groups.push_back(m_db.GetFieldText("SelfDefineSettingName"));
        m_db.CloseRecordset();
    } catch (const DbError& e) {
        m_db.CloseRecordset();
        return Failure(GroupOutcome::DatabaseError, e.Description());
    }
    return {};
}

GroupResult ParameterGroups::AddGroup(const std::string& name, const std::vector<std::string>& categoryListEntries) {
    std::size_t bytes = Cp936ByteLength(name);
    if (bytes < kMinNameBytes || bytes > kMaxNameBytes) return Failure(GroupOutcome::LengthError);
    for (const auto& entry : categoryListEntries)
        if (EqualIgnoringCase(entry, name)) return Failure(GroupOutcome::Duplicate);
    return Execute({AddGroupSql(static_cast<int>(categoryListEntries.size()), name)});
}

GroupResult ParameterGroups::DeleteGroup(const std::string& name) {
    return Execute({DeleteGroupSql(name), DeleteGroupMembersSql(name)});
}

GroupResult ParameterGroups::AddToGroup(uint16_t address, const std::string& parameterName,
                                        const std::string& groupName) {
    if (address >= 31999) return Failure(GroupOutcome::Ignored);
    return Execute({DeleteMemberSql(address, groupName), InsertMemberSql(address, parameterName, groupName)});
}

GroupResult ParameterGroups::RemoveFromGroup(uint16_t address, const std::string& groupName) {
    return Execute({DeleteMemberSql(address, groupName)});
}

std::vector<uint16_t> ParameterGroups::GroupMembers(const std::string& groupName) {
    std::vector<uint16_t> members;
    m_db.GetRecordSet("Select * from  " + MembersTable() + " Where  SelfDefineSettingName =" + Literal(groupName));
    for (; !m_db.IsEOF(); m_db.MoveNext())
        members.push_back(static_cast<uint16_t>(static_cast<uint32_t>(LenientToInt(m_db.GetFieldText("Address")))));
    m_db.CloseRecordset();
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    return members;
}

}  // namespace hx
