#include "core/capture/WaveFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/capture/ChannelSources.h"
#include "core/util/AtomicFile.h"
#include "core/util/BoundedFile.h"
#include "core/util/Text.h"

namespace hx {
namespace {

constexpr std::string_view kSection = "Wave";
constexpr std::size_t kNumberChars = 5;  // the classic 6-character buffer

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The keys of [Wave] as an INI reader sees them: names match regardless of
// case, the first occurrence counts, blanks after "=" are skipped and a value
// in matching quotes loses them.
struct WaveKeys {
    std::string_view values[11];
    bool present[11] = {};
};
constexpr std::string_view kKeys[11] = {"SamplingPoints", "SamplingInterval", "Points",       "TypeCHN1",
                                        "TypeCHN2",       "TypeCHN3",         "TypeCHN4",     "SamplingCHN1",
                                        "SamplingCHN2",   "SamplingCHN3",     "SamplingCHN4"};

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

WaveKeys ScanKeys(std::string_view bytes) {
    WaveKeys keys;
    bool inSection = false;
    while (!bytes.empty()) {
        const size_t eol = bytes.find('\n');
        std::string_view line = bytes.substr(0, eol);
        bytes = eol == std::string_view::npos ? std::string_view{} : bytes.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view t = TrimView(line);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            inSection = close != std::string_view::npos && EqualsNoCase(TrimView(t.substr(1, close - 1)), kSection);
            continue;
        }
        if (!inSection || t.empty() || t.front() == ';') continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = TrimView(line.substr(0, eq));
        std::string_view value = line.substr(eq + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        for (int i = 0; i < 11; ++i)
            if (!keys.present[i] && EqualsNoCase(key, kKeys[i])) {
                keys.present[i] = true;
                keys.values[i] = value;
            }
    }
    return keys;
}

int32_t Number(const WaveKeys& keys, int i, std::string_view def) {
    const std::string_view v = keys.present[i] ? keys.values[i] : def;
    return LenientToInt(v.substr(0, std::min(v.size(), kNumberChars)));
}

bool WriteAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    AtomicFile::Step step = AtomicFile::Step::None;
    int err = 0;
    if (WriteFileAtomically(path, bytes, &step, &err)) return true;
    if (error) *error = path + ": " + FileErrorText(err ? err : EIO);
    return false;
}

}  // namespace

std::string FormatWaveFile(const WaveRecording& r) {
    std::string out;
    size_t items = 0;
    for (const auto& l : r.lists) items += l.size();
    out.reserve(200 + items * 4);
    auto line = [&](std::string_view key, const std::string& value) {
        out.append(key).append("=").append(value).append("\r\n");
    };
    out.append("[Wave]\r\n");
    line("SamplingPoints", std::to_string(r.pointsPerChannel));
    line("SamplingInterval", std::to_string(r.intervalUs));
    line("Points", std::to_string(r.recordedPoints));
    for (int k = 0; k < 4; ++k) line("TypeCHN" + std::to_string(k + 1), std::to_string(r.codes[k]));
    for (int k = 0; k < 4; ++k) {
        if (r.codes[k] == 0) continue;
        out.append("SamplingCHN" + std::to_string(k + 1)).append("=");
        for (const auto& item : r.lists[k]) out.append(item);
        out.append("\r\n");
    }
    return out;
}

std::string FormatWaveCsv(const WaveRecording& r) {
    std::string out;
    out += "PerCHnPoints," + std::to_string(r.pointsPerChannel) + "\r\n";
    out += "SampleInterval," + std::to_string(r.intervalUs) + "\r\n";
    out += "RealSamplePoints," + std::to_string(r.recordedPoints) + "\r\n";
    for (int k = 0; k < 4; ++k) out += "CHN" + std::to_string(k + 1) + "," + std::to_string(r.codes[k]) + "\r\n";
    out += "CHN1,CHN2,CHN3,CHN4\r\n";
    size_t rows = 0;
    for (const auto& l : r.lists) rows = std::max(rows, l.size());
    out.reserve(out.size() + rows * 26);
    for (size_t i = 0; i < rows; ++i) {
        for (int k = 0; k < 4; ++k) {
            if (k) out += ',';
            // An off channel, or a list shorter than the longest one, shows a blank.
            if (r.codes[k] != 0 && i < r.lists[k].size()) out += std::to_string(HexToWord(r.lists[k][i]));
            else out += ' ';
        }
        out += "\r\n";
    }
    return out;
}

namespace {

// A spreadsheet field: quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string FormatWaveTableCsv(const WaveRecording& r, const std::function<std::string(int32_t)>& nameOf) {
    std::vector<int> active;
    for (int k = 0; k < 4; ++k)
        if (r.codes[k] != 0) active.push_back(k);
    std::string out = "Time(ms)";
    for (int k : active) {
        std::string name = nameOf ? nameOf(r.codes[k]) : ChannelSourceName(static_cast<uint16_t>(r.codes[k]));
        if (name.empty()) name = "CH" + std::to_string(k + 1);
        out += ',';
        out += CsvField(name);
    }
    out += "\r\n";
    size_t rows = 0;
    for (int k : active) rows = std::max(rows, r.lists[k].size());
    out.reserve(out.size() + rows * (12 + 7 * active.size()));
    char time[32];
    for (size_t i = 0; i < rows; ++i) {
        // Whole microseconds: three decimals of a millisecond are exact.
        const long long us = static_cast<long long>(i) * r.intervalUs;
        std::snprintf(time, sizeof time, "%s%lld.%03lld", us < 0 ? "-" : "", std::llabs(us) / 1000,
                      std::llabs(us) % 1000);
        out += time;
        for (int k : active) {
            out += ',';
            if (i < r.lists[k].size()) out += std::to_string(HexToSample(r.lists[k][i]));
        }
        out += "\r\n";
    }
    return out;
}

WaveRecording ParseWaveFile(std::string_view bytes) {
    const WaveKeys keys = ScanKeys(bytes);
    WaveRecording r;
    r.pointsPerChannel = static_cast<uint16_t>(Number(keys, 0, "200"));
    r.intervalUs = static_cast<int16_t>(Number(keys, 1, "100"));
    r.recordedPoints = Number(keys, 2, "200");
    for (int k = 0; k < 4; ++k) r.codes[k] = Number(keys, 3 + k, "0");
    // Points only bounds how much of each key is taken; the key's own length
    // bounds what is allocated, so no Points value can ask for more.
    const size_t limit = r.recordedPoints > 0 ? static_cast<size_t>(r.recordedPoints) * 4u : 0u;
    for (int k = 0; k < 4; ++k) {
        if (!keys.present[7 + k]) continue;
        const std::string_view v = keys.values[7 + k].substr(0, std::min(limit, keys.values[7 + k].size()));
        auto& list = r.lists[k];
        list.reserve((v.size() + 3) / 4);
        for (size_t at = 0; at < v.size(); at += 4) list.emplace_back(v.substr(at, 4));
    }
    return r;
}

bool SaveWaveFile(const std::string& path, const WaveRecording& recording, std::string* error) {
    return WriteAtomically(path, FormatWaveFile(recording), error);
}

bool ExportWaveCsv(const std::string& path, const WaveRecording& recording, std::string* error) {
    return WriteAtomically(path, FormatWaveCsv(recording), error);
}

bool ExportWaveTableCsv(const std::string& path, const WaveRecording& recording, std::string* error) {
    // A UTF-8 byte-order mark first: spreadsheets on Windows read the channel
    // names in Chinese only with it.
    return WriteAtomically(path, "\xEF\xBB\xBF" + FormatWaveTableCsv(recording), error);
}

std::string WaveFileProblem(std::string_view bytes) {
    const WaveKeys keys = ScanKeys(bytes);
    struct Range {
        long long min, max;
    };
    // SamplingPoints, SamplingInterval, Points, TypeCHN1..4.
    constexpr Range kRanges[7] = {{0, 65535}, {1, 32767}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}, {0, 65535}};
    long long numbers[7] = {200, 100, 200, 0, 0, 0, 0};
    for (int i = 0; i < 7; ++i) {
        if (!keys.present[i]) continue;
        const std::string value(TrimView(keys.values[i]));
        const bool digits = !value.empty() && value.size() <= 10 &&
                            std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); });
        if (!digits || std::stoll(value) < kRanges[i].min || std::stoll(value) > kRanges[i].max)
            return std::string(kKeys[i]) + "=" + value + " is not a whole number of " +
                   std::to_string(kRanges[i].min) + ".." + std::to_string(kRanges[i].max);
        numbers[i] = std::stoll(value);
    }
    const auto points = static_cast<std::size_t>(numbers[2]);
    for (int k = 0; k < 4; ++k) {
        if (numbers[3 + k] == 0) continue;
        const std::string key(kKeys[7 + k]);
        const std::string_view items = keys.present[7 + k] ? keys.values[7 + k] : std::string_view{};
        if (items.size() < points * 4)
            return key + " holds " + std::to_string(items.size() / 4) + " of its " + std::to_string(points) +
                   " points: the file is cut short";
        for (std::size_t at = 0; at < points * 4; ++at)
            if (!std::isxdigit(static_cast<unsigned char>(items[at])))
                return key + ", point " + std::to_string(at / 4 + 1) + ": \"" +
                       std::string(items.substr(at - at % 4, 4)) + "\" is not four hexadecimal digits";
    }
    return {};
}

bool LoadWaveFile(const std::string& path, WaveRecording* recording, std::string* error, bool strict) {
    std::string bytes;
    const FileReadOutcome read = ReadBoundedFile(path, kMaxWaveFileBytes, &bytes);
    if (!read.ok()) {
        if (error) *error = path + ": " + FileReadFailureText(read, kMaxWaveFileBytes);
        return false;
    }
    if (strict) {
        const std::string problem = WaveFileProblem(bytes);
        if (!problem.empty()) {
            if (error) *error = path + ": " + problem;
            return false;
        }
    }
    *recording = ParseWaveFile(bytes);
    return true;
}

}  // namespace hx
