#pragma once
// The database keeps its texts in Chinese with an English twin beside each
// one that users read ("Remark" and "RemarkEn"). The Chinese column stays the
// key every query and filter uses; the interface shows the twin of its
// language.

#include <string>

class CADO;

namespace hx {

// Whether the interface shows English (g_language is not Chinese).
bool InterfaceIsEnglish();

// The column of the current row as the interface shows it: its English twin
// (column + "En") when the interface is English and the twin is there and
// filled, else the column itself. A database from before the English
// columns therefore still lists, in Chinese. Throws DbError as GetFieldText.
std::string LocalizedFieldText(const CADO& db, const std::string& column);

}  // namespace hx
