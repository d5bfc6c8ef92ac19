#pragma once
// Parameter files (*.qxr): three header lines naming the drive type, its
// software version and a description, then one "address=value" line for
// each of the 2150 parameter slots in table order. Every line ends with
// CR LF; the text is in code page 936 without a byte-order mark, so files
// written by any copy of the program load in any other.
//
// Saving goes through a temporary file that replaces the old one only once
// it is complete. Loading reads and parses the whole file before anything in
// the table changes, so a file that cannot be opened or decoded changes
// nothing. Error texts name the file and follow g_language.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/util/Text.h"  // LenientToInt, the number reading of the file

class CParameter;

namespace hx {

struct ParameterFileHeader {
    std::string driveType, driveVersion, description;  // UTF-8
};

// A parameter line that was not applied, and why.
struct SkippedLine {
    std::size_t line = 0;  // 1-based line number in the file
    std::string text;      // the line as it stands (bytes outside ASCII shown as '?')
    std::string reason;    // in the language of the messages
};

// What a file holds.
struct ParameterFileContents {
    // Lines 1..3 as they stand in the file (fewer when the file is shorter),
    // in UTF-8.
    std::vector<std::string> headerLines;
    // Every parameter line kept, in file order: only addresses that have a
    // slot (0..149, 30000..31999).
    std::vector<std::pair<uint16_t, int32_t>> values;
    // Lines after the header that are neither empty nor applied.
    std::vector<SkippedLine> skipped;

    // The part of header line n (1..3) after its first "=" ("" when missing).
    std::string HeaderValue(std::size_t n) const;
};

// The file's bytes: header fields with CR and LF turned into blanks and
// characters that code page 936 lacks into '?', then GetValue of every slot.
std::string FormatParameterFile(CParameter& table, const ParameterFileHeader& header);

// Writes the table to path atomically. On failure *error (may be null) says
// what went wrong, naming the file, and the old file is untouched.
bool SaveParameterFile(const std::string& path, CParameter& table, const ParameterFileHeader& header,
                       std::string* error);

// Reads and parses a whole file; types (may be null) gives the registers'
// types for the value check (see ParseParameterText). Fails, naming the
// file, when it is not a regular file or cannot be opened or read. Text that
// is neither code page 936 nor UTF-8 still loads: its header lines are
// decoded as well as they can be and its parameter lines are plain digits.
bool ReadParameterFile(const std::string& path, ParameterFileContents* out, std::string* error,
                       const CParameter* types = nullptr);

// The parser. Lines end at LF or CR LF and every line counts, empty ones too.
// Lines 1..3 are the header. Each later line "ADDRESS=VALUE" is applied when
// ADDRESS is a decimal number (blanks around it allowed) naming a parameter
// slot (0..149, 30000..31999) and VALUE a decimal number, optionally signed,
// that fits its register: -32768..65535 for a word (a saved unsigned value
// and a signed one are the same word), the 32-bit range (signed or unsigned)
// for an INT parameter of types, or for any address when types is null.
// Every other line that is not empty is skipped and listed with its reason,
// and so is a last line cut off without its line ending. Header lines that
// are not valid UTF-8 are decoded from code page 936, with undecodable bytes
// shown as U+FFFD.
ParameterFileContents ParseParameterText(std::string_view utf8OrCp936Bytes, const CParameter* types = nullptr);

// SetValue(address, value) for every value, in file order; the table's type
// rules apply ("5=-3" at a USHORT address reads back 65533).
void ApplyToTable(const ParameterFileContents& contents, CParameter& table);

// The text shown after loading: "适用驱动器类型:", "驱动器软件版本:",
// "描述信息:" for lines 1..3, each followed by the part of its line after
// the first "=" and CR LF. A header line without "=" shows whole after its
// label, so a damaged header is still seen as it stands.
std::string InformationText(const ParameterFileContents& contents);

// Read, then apply: the table changes only when the whole file was read and
// holds at least one parameter line that can be applied (a file without one
// fails, saying so). *information (may be null) receives InformationText;
// *contents (may be null) what was applied and skipped. The table's own
// types decide which values fit.
bool LoadParameterFile(const std::string& path, CParameter& table, std::string* information, std::string* error,
                       ParameterFileContents* contents = nullptr);

// "Applied 2150 parameter lines, skipped 2: line 7 (...): reason; ..." in the
// language of the messages; names at most `listed` skipped lines.
std::string LoadSummaryText(const ParameterFileContents& contents, std::size_t listed = 5);
// "The file PATH holds no parameter line that can be loaded." and the summary
// of the lines skipped.
std::string NoParametersText(const std::string& path, const ParameterFileContents& contents);

}  // namespace hx
