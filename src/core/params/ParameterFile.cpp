#include "core/params/ParameterFile.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/params/CParameter.h"
#include "core/text/Cp936.h"
#include "core/util/AtomicFile.h"
#include "core/util/BoundedFile.h"

namespace hx {
namespace {

// A parameter file is about 30 KB; anything far larger is not one, and
// reading it whole would only exhaust memory.
constexpr std::size_t kMaxFileBytes = 64u << 20;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The file messages in the interface's language; the English beside each is
// for the command-line tools, which have no catalogue.
std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments) {
    return FillIn(Translate("ParameterFile", chinese, english), arguments);
}

std::string SaveErrorText(const std::string& path, AtomicFile::Step step, int err) {
    const std::string reason = FileErrorText(err);
    if (step == AtomicFile::Step::Create)
        return Text(QT_TRANSLATE_NOOP("ParameterFile", "无法创建文件 %1: %2"), "Cannot create the file %1: %2",
                    {Quoted(path), reason});
    return Text(QT_TRANSLATE_NOOP("ParameterFile", "写入文件 %1 失败: %2。原有的同名文件保持不变。"),
                "Writing the file %1 failed: %2. An earlier file of that name is unchanged.", {Quoted(path), reason});
}

std::string OpenErrorText(const std::string& path, int err) {
    const std::string reason =
        err == EINVAL ? Text(QT_TRANSLATE_NOOP("ParameterFile", "不是普通文件"), "not a regular file", {})
                      : std::string(std::strerror(err));
    return Text(QT_TRANSLATE_NOOP("ParameterFile", "无法打开文件 %1: %2"), "Cannot open the file %1: %2",
                {Quoted(path), reason});
}

std::string ReadErrorText(const std::string& path, int err) {
    return Text(QT_TRANSLATE_NOOP("ParameterFile", "读取文件 %1 失败: %2"), "Cannot read the file %1: %2",
                {Quoted(path), std::strerror(err)});
}

std::string TooLargeText(const std::string& path) {
    return Text(QT_TRANSLATE_NOOP("ParameterFile", "文件 %1 过大, 不是参数文件。"),
                "The file %1 is too large to be a parameter file.", {Quoted(path)});
}

// Blanks, an optional sign (only where allowed; '+' always), decimal digits,
// blanks: nothing else. Up to 12 digits, enough for any 32-bit value.
bool StrictDecimal(std::string_view text, bool allowMinus, int64_t* out) {
    std::size_t i = 0;
    const auto blank = [&](std::size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
    while (blank(i)) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || (allowMinus && text[i] == '-'))) negative = text[i++] == '-';
    const std::size_t first = i;
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (i - first >= 12) return false;
        v = v * 10 + (text[i++] - '0');
    }
    if (i == first) return false;
    while (blank(i)) ++i;
    if (i != text.size()) return false;
    *out = negative ? -v : v;
    return true;
}

// A line for a message: printable ASCII kept, anything else '?', and short.
std::string Printable(std::string_view line) {
    std::string out;
    for (char c : line.substr(0, 60)) out += (c >= 32 && c < 127) ? c : '?';
    if (line.size() > 60) out += "...";
    return out;
}

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// A header field on one line: a line break would push the rest of the
// header into the parameter lines.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void AppendNumber(std::string& out, long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// The file's text in UTF-8; false when it is neither code page 936 nor UTF-8.
bool DecodeFileText(const std::string& bytes, std::string* text) {
    if (IsAscii(bytes)) {
        *text = bytes;
        return true;
    }
    std::string_view view(bytes);
    // A byte-order mark says UTF-8 outright (our own files never carry one).
    if (view.substr(0, kUtf8Bom.size()) == kUtf8Bom && IsValidUtf8(view.substr(kUtf8Bom.size()))) {
        *text = std::string(view.substr(kUtf8Bom.size()));
        return true;
    }
    if (Cp936ToUtf8(view, text)) return true;
    if (IsValidUtf8(view)) {
        *text = bytes;
        return true;
    }
    return false;
}

}  // namespace

std::string NoParametersText(const std::string& path, const ParameterFileContents& contents) {
    std::string text = Text(QT_TRANSLATE_NOOP("ParameterFile", "文件 %1 中没有可读入的参数行。"),
                            "The file %1 holds no parameter line that can be loaded.", {Quoted(path)});
    if (!contents.skipped.empty()) text.append(1, ' ').append(LoadSummaryText(contents));
    return text;
}

std::string FormatParameterFile(CParameter& table, const ParameterFileHeader& header) {
    std::string out;
    out.reserve(CParameter::kSlots * 14 + 256);
    out += "DriveType=";
    out += Utf8ToCp936Lossy(OneLine(header.driveType));
    out += "\r\n";
    out += "DriveVerssion=";
    out += Utf8ToCp936Lossy(OneLine(header.driveVersion));
    out += "\r\n";
    out += "Description=";
    out += Utf8ToCp936Lossy(OneLine(header.description));
    out += "\r\n";
    for (int i = 0; i < CParameter::kSlots; ++i) {
        uint16_t address = CParameter::IndexToAddress(static_cast<uint16_t>(i));
        AppendNumber(out, address);
        out += '=';
        AppendNumber(out, table.GetValue(address));
        out += "\r\n";
    }
    return out;
}

bool SaveParameterFile(const std::string& path, CParameter& table, const ParameterFileHeader& header,
                       std::string* error) {
    const std::string bytes = FormatParameterFile(table, header);
    AtomicFile::Step step = AtomicFile::Step::None;
    int err = 0;
    if (WriteFileAtomically(path, bytes, &step, &err)) return true;
    SetError(error, SaveErrorText(path, step, err));
    return false;
}

ParameterFileContents ParseParameterText(std::string_view bytes, const CParameter* types) {
    ParameterFileContents contents;
    std::size_t lineNumber = 0;
    while (!bytes.empty()) {
        std::size_t nl = bytes.find('\n');
        const bool ended = nl != std::string_view::npos;
        std::string_view line = bytes.substr(0, nl);
        bytes.remove_prefix(ended ? nl + 1 : bytes.size());
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;

        if (lineNumber <= 3) {
            contents.headerLines.push_back(IsValidUtf8(line) ? std::string(line) : Cp936ToUtf8Lossy(line));
            continue;
        }
        if (Trim(line).empty()) continue;
        const auto skip = [&](const char* chinese, const char* english) {
            contents.skipped.push_back({lineNumber, Printable(line), Text(chinese, english, {})});
        };
        if (!ended) {
            // Every line of a saved file ends with CR LF: this one was cut off.
            skip(QT_TRANSLATE_NOOP("ParameterFile", "不完整 (缺少行结束符)"), "is cut off (no line ending)");
            continue;
        }
        // '=' and the digits are below 0x40, so they never occur inside a
        // code page 936 double-byte character: the bytes can be scanned as
        // they are, whichever of the two encodings they are in.
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            skip(QT_TRANSLATE_NOOP("ParameterFile", "没有 \"=\""), "has no \"=\"");
            continue;
        }
        int64_t address = 0, value = 0;
        if (!StrictDecimal(line.substr(0, eq), false, &address) ||
            address > 0xFFFF || !CParameter::IsParameterAddress(static_cast<uint16_t>(address))) {
            skip(QT_TRANSLATE_NOOP("ParameterFile", "不是参数地址 (0..149, 30000..31999)"),
                 "has no parameter address (0..149, 30000..31999)");
            continue;
        }
        const auto a = static_cast<uint16_t>(address);
        if (!StrictDecimal(line.substr(eq + 1), true, &value)) {
            skip(QT_TRANSLATE_NOOP("ParameterFile", "数值不是十进制数"), "has no decimal value");
            continue;
        }
        const bool wide = types == nullptr || types->IsInt(a);
        const int64_t lo = wide ? INT32_MIN : -32768, hi = wide ? int64_t{UINT32_MAX} : 65535;
        if (value < lo || value > hi) {
            if (wide)
                skip(QT_TRANSLATE_NOOP("ParameterFile", "数值超出 32 位范围"), "has a value outside 32 bits");
            else
                skip(QT_TRANSLATE_NOOP("ParameterFile", "数值超出 16 位范围"), "has a value outside 16 bits");
            continue;
        }
        contents.values.emplace_back(a, static_cast<int32_t>(static_cast<uint32_t>(value)));
    }
    return contents;
}

std::string ParameterFileContents::HeaderValue(std::size_t n) const {
    if (n < 1 || n > headerLines.size()) return {};
    const std::string& line = headerLines[n - 1];
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void ApplyToTable(const ParameterFileContents& contents, CParameter& table) {
    for (const auto& [address, value] : contents.values) table.SetValue(address, value);
}

std::string InformationText(const ParameterFileContents& contents) {
    static const char* const kChinese[] = {QT_TRANSLATE_NOOP("ParameterFile", "适用驱动器类型:"),
                                           QT_TRANSLATE_NOOP("ParameterFile", "驱动器软件版本:"),
                                           QT_TRANSLATE_NOOP("ParameterFile", "描述信息:")};
    static const char* const kEnglish[] = {"Drive type:", "Drive software version:", "Description:"};
    std::string text;
    for (std::size_t i = 0; i < contents.headerLines.size() && i < 3; ++i) {
        const std::string& line = contents.headerLines[i];
        std::size_t eq = line.find('=');
        text += Translate("ParameterFile", kChinese[i], kEnglish[i]);
        text += eq == std::string::npos ? line : line.substr(eq + 1);
        text += "\r\n";
    }
    return text;
}

bool ReadParameterFile(const std::string& path, ParameterFileContents* out, std::string* error,
                       const CParameter* types) {
    std::string bytes;
    const FileReadOutcome read = ReadBoundedFile(path, kMaxFileBytes, &bytes);
    switch (read.failure) {
    case FileReadOutcome::Failure::None: break;
    case FileReadOutcome::Failure::TooLarge: SetError(error, TooLargeText(path)); return false;
    case FileReadOutcome::Failure::Read: SetError(error, ReadErrorText(path, read.err)); return false;
    default: SetError(error, OpenErrorText(path, read.err)); return false;
    }
    std::string text;
    // Text in neither encoding (one damaged byte in the description) is
    // parsed as it stands: header lines are decoded line by line as well as
    // they can be, parameter lines are plain ASCII either way.
    if (!DecodeFileText(bytes, &text)) text = std::move(bytes);
    *out = ParseParameterText(text, types);
    return true;
}

bool LoadParameterFile(const std::string& path, CParameter& table, std::string* information, std::string* error,
                       ParameterFileContents* contentsOut) {
    ParameterFileContents contents;
    if (!ReadParameterFile(path, &contents, error, &table)) return false;
    if (contents.values.empty()) {
        SetError(error, NoParametersText(path, contents));
        if (contentsOut) *contentsOut = std::move(contents);
        return false;
    }
    ApplyToTable(contents, table);
    if (information) *information = InformationText(contents);
    if (contentsOut) *contentsOut = std::move(contents);
    return true;
}

std::string LoadSummaryText(const ParameterFileContents& contents, std::size_t listed) {
    std::string text = Text(QT_TRANSLATE_NOOP("ParameterFile", "已读入 %1 行参数, 跳过 %2 行"),
                            "Applied %1 parameter lines, skipped %2",
                            {std::to_string(contents.values.size()), std::to_string(contents.skipped.size())});
    for (std::size_t i = 0; i < contents.skipped.size() && i < listed; ++i) {
        const SkippedLine& s = contents.skipped[i];
        text += i == 0 ? ": " : "; ";
        text += Text(QT_TRANSLATE_NOOP("ParameterFile", "第 %1 行 \"%2\" %3"), "line %1 \"%2\" %3",
                     {std::to_string(s.line), s.text, s.reason});
    }
    if (contents.skipped.size() > listed) text += "; ...";
    return text;
}

}  // namespace hx
