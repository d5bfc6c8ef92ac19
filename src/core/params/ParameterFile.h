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

// What a file holds, parsed leniently.
struct ParameterFileContents {
    // Lines 1..3 as they stand in the file (fewer when the file is shorter),
    // in UTF-8.
    std::vector<std::string> headerLines;
    // Every parameter line kept, in file order: only addresses that have a
    // slot (0..149, 30000..31999).
    std::vector<std::pair<uint16_t, int32_t>> values;
};

// The file's bytes: header fields with CR and LF turned into blanks and
// characters that code page 936 lacks into '?', then GetValue of every slot.
std::string FormatParameterFile(CParameter& table, const ParameterFileHeader& header);

// Writes the table to path atomically. On failure *error (may be null) says
// what went wrong, naming the file, and the old file is untouched.
bool SaveParameterFile(const std::string& path, CParameter& table, const ParameterFileHeader& header,
                       std::string* error);

// Reads and parses a whole file. Fails, naming the file, when it cannot be
// opened or read, or is not text in code page 936 (a file that is not valid
// code page 936 but valid UTF-8 is taken as UTF-8, as an editor on this
// system may have saved it).
bool ReadParameterFile(const std::string& path, ParameterFileContents* out, std::string* error);

// The lenient parser. Lines end at LF or CR LF and every line counts, empty
// ones too. Lines 1..3 are the header. Each later line with its first "="
// after at least one character gives address = the number before the "="
// taken as an unsigned 16-bit number, value = the number after it; other
// lines are skipped. Numbers: leading blanks, an optional sign, digits up to
// the first other character, 0 without digits; beyond the 32-bit range they
// stop at its ends. Header lines that are not valid UTF-8 are decoded from
// code page 936, with undecodable bytes shown as U+FFFD.
ParameterFileContents ParseParameterText(std::string_view utf8OrCp936Bytes);

// SetValue(address, value) for every value, in file order; the table's type
// rules apply ("5=-3" at a USHORT address reads back 65533).
void ApplyToTable(const ParameterFileContents& contents, CParameter& table);

// The text shown after loading: "适用驱动器类型:", "驱动器软件版本:",
// "描述信息:" for lines 1..3, each followed by the part of its line after
// the first "=" and CR LF. A header line without "=" shows whole after its
// label, so a damaged header is still seen as it stands.
std::string InformationText(const ParameterFileContents& contents);

// Read, then apply: the table changes only when the whole file was read.
// *information (may be null) receives InformationText.
bool LoadParameterFile(const std::string& path, CParameter& table, std::string* information, std::string* error);

}  // namespace hx
