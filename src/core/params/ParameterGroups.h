#pragma once
// User-defined parameter groups: named groups ("SelfDefineSettingTable")
// and their members ("SelfDefineSettingParametersTable") in the database,
// beside the categories that the definition table's PageNumber gives.
// Names reach the statements as quoted literals with their quotes doubled,
// so any name (a quote, Chinese text, '%') is stored and found as typed.
// Operations report an outcome; the window shows the matching message.

#include <cstdint>
#include <string>
#include <vector>

class CADO;

namespace hx {

// The entries of the category list: "全部参数", the categories (model
// tables only), then the groups in table order.
struct CategoryListing {
    std::vector<std::string> categories;
    std::vector<std::string> groups;

    std::vector<std::string> Entries() const;
    // The group index behind entry i of Entries(), or -1 for "全部参数", a
    // category or an index out of range (those entries cannot be deleted).
    int GroupOfEntry(int entry) const;
};

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif
// Shown through the translation catalogue (context "ParameterGroups").
inline constexpr const char* kAllParametersEntry = QT_TRANSLATE_NOOP("ParameterGroups", "全部参数");

enum class GroupOutcome {
    Done,
    Ignored,          // nothing to do (address not below 31999)
    LengthError,      // "自定义设定名称长度不符合,请输入一个长度为3 ~ 20 的字符串!"
    Duplicate,        // "已存在同名的设定项,请新输入!"
    RecordsetClosed,  // "Recordset State is closed"
    DatabaseError,    // the window shows databaseError ("Connection error:" + it while listing)
};

struct GroupResult {
    GroupOutcome outcome = GroupOutcome::Done;
    std::string databaseError;  // DbError's description when outcome is DatabaseError
    bool Ok() const { return outcome == GroupOutcome::Done; }
};

class ParameterGroups {
public:
    explicit ParameterGroups(CADO& db);

    // Group names are 3 to 20 bytes long in code page 936.
    static constexpr std::size_t kMinNameBytes = 3;
    static constexpr std::size_t kMaxNameBytes = 20;

    // Categories of the model's definition table (none when model is empty)
    // and the groups. On an error *listing keeps what was read before it.
    GroupResult FillCategoryList(const std::string& driveModel, CategoryListing* listing);

    // Refuses a name outside the length rule or equal to an entry of the
    // category list ignoring letter case (ASCII letters; other characters
    // must match exactly); else stores it with Pos = the number of entries.
    GroupResult AddGroup(const std::string& name, const std::vector<std::string>& categoryListEntries);
    // Deletes the group and its member rows together.
    GroupResult DeleteGroup(const std::string& name);
    // Makes the parameter a member of the group once (the old row, if any,
    // is replaced). Ignored unless address is below 31999.
    GroupResult AddToGroup(uint16_t address, const std::string& parameterName, const std::string& groupName);
    GroupResult RemoveFromGroup(uint16_t address, const std::string& groupName);
    // Addresses of the group's members, ascending; DbError propagates.
    std::vector<uint16_t> GroupMembers(const std::string& groupName);

    // The statement texts, exposed for testing.
    static std::string AddGroupSql(int pos, const std::string& name);
    static std::string DeleteGroupSql(const std::string& name);
    static std::string DeleteGroupMembersSql(const std::string& name);
    static std::string DeleteMemberSql(uint16_t address, const std::string& groupName);
    static std::string InsertMemberSql(uint16_t address, const std::string& parameterName,
                                       const std::string& groupName);

private:
    // Runs the statements as one transaction: all of them or none.
    GroupResult Execute(const std::vector<std::string>& statements);

    CADO& m_db;
};

// Case-insensitive equality for the duplicate rule (ASCII letters folded).
bool EqualIgnoringCase(const std::string& a, const std::string& b);

}  // namespace hx
