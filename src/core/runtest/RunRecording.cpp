#include "core/runtest/RunRecording.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/util/AtomicFile.h"

namespace hx::runtest {
namespace {

uint16_t Word(float v) { return static_cast<uint16_t>(static_cast<int32_t>(v) & 0xFFFF); }

std::string Format(const char* format, long value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

}  // namespace

std::string WaveFileText(const CaptureOutcome& c, int intervalUs) {
    std::string t = "[Wave]\r\n";
    t += Format("SamplingPoints=%ld\r\n", c.points);
    t += Format("SamplingInterval=%ld\r\n", intervalUs);
    t += Format("Points=%ld\r\n", c.points);
    for (int k = 0; k < 4; ++k) t += "TypeCHN" + std::to_string(k + 1) + Format("=%ld\r\n", static_cast<long>(c.codes[k]));
    for (int k = 0; k < 4; ++k) {
        if (c.codes[k] == 0) continue;
        t += "SamplingCHN" + std::to_string(k + 1) + "=";
        for (float v : c.samples[k]) t += Format("%04lx", Word(v));
        t += "\r\n";
    }
    return t;
}

std::string CsvText(const CaptureOutcome& c, int intervalUs) {
    std::string t;
    t += Format("PerCHnPoints,%ld\r\n", c.points);
    t += Format("SampleInterval,%ld\r\n", intervalUs);
    t += Format("RealSamplePoints,%ld\r\n", c.points);
    for (int k = 0; k < 4; ++k) t += "CHN" + std::to_string(k + 1) + Format(",%ld\r\n", static_cast<long>(c.codes[k]));
    t += "CHN1,CHN2,CHN3,CHN4\r\n";
    size_t rows = 0;
    for (const auto& s : c.samples) rows = std::max(rows, s.size());
    for (size_t i = 0; i < rows; ++i) {
        for (int k = 0; k < 4; ++k) {
            if (k) t += ',';
            const auto& s = c.samples[k];
            t += (c.codes[k] != 0 && i < s.size()) ? std::to_string(Word(s[i])) : std::string(" ");
        }
        t += "\r\n";
    }
    return t;
}

bool SaveRecording(const std::string& path, const CaptureOutcome& capture, int intervalUs, std::string* error) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
    const bool csv = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".csv") == 0;
    const std::string bytes = csv ? CsvText(capture, intervalUs) : WaveFileText(capture, intervalUs);
    AtomicFile::Step failed = AtomicFile::Step::None;
    int err = 0;
    if (WriteFileAtomically(path, bytes, &failed, &err)) return true;
    if (error) *error = "cannot write " + path + ": " + std::string(std::strerror(err));
    return false;
}

}  // namespace hx::runtest
