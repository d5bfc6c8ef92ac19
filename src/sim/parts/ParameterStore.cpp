#include "sim/parts/ParameterStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "core/params/DriveDefinitions.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/util/AtomicFile.h"

namespace hx::sim {
namespace {

constexpr const char* kStateHeader = "halvex-drive-state 1";

// A default as the database holds it: decimal text, possibly with blanks.
long long ParseDefault(const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (end == s || errno != 0) {
        double d = std::strtod(s, &end);  // "1.0" and the like
        if (end == s) return 0;
        return static_cast<long long>(d < 0 ? d - 0.5 : d + 0.5);
    }
    return v;
}

// "MIN~MAX" as the definitions write a range; nothing when either side is
// not a number (such a row is not checked rather than refused outright).
std::optional<std::pair<int64_t, int64_t>> ParseScope(const std::string& scope) {
    const auto tilde = scope.find('~');
    if (tilde == std::string::npos) return std::nullopt;
    auto number = [](const std::string& text, int64_t& out) {
        const char* s = text.c_str();
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(s, &end, 10);
        if (end == s || errno != 0) return false;
        while (*end == ' ') ++end;
        if (*end != '\0') return false;
        out = v;
        return true;
    };
    int64_t lo = 0, hi = 0;
    if (!number(scope.substr(0, tilde), lo) || !number(scope.substr(tilde + 1), hi)) return std::nullopt;
    return std::make_pair(lo, hi);
}

std::string Dec(unsigned a) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", a);
    return buf;
}

// N of a "[station N]" line, 0 when the line is not one.
int SectionStation(const std::string& line) {
    unsigned station = 0;
    char close = 0;
    if (std::sscanf(line.c_str(), "[station %u%c", &station, &close) != 2 || close != ']' || station < 1 ||
        station > 247 || line != "[station " + Dec(station) + "]")
        return 0;
    return static_cast<int>(station);
}

// The sections of a state file, by station, as they stand; lines outside any
// section (a file a single drive kept) are left behind.
std::map<int, std::string> OtherSections(const std::string& path) {
    std::map<int, std::string> sections;
    std::ifstream in(path);
    std::string line;
    int current = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            current = SectionStation(line);
            continue;
        }
        if (current > 0 && !line.empty() && line[0] != '#') sections[current] += line + "\n";
    }
    return sections;
}

}  // namespace

ParameterStore::ParameterStore()
    : m_ram(reg::kStoreSize, 0),
      m_nv(reg::kStoreSize, 0),
      m_factory(reg::kStoreSize, 0),
      m_visible(reg::kStoreSize, false),
      m_limits(reg::kStoreSize) {}

std::vector<AddressRange> ParameterStore::Ranges() const {
    return {{reg::kLowFirst, reg::kLowLast}, {reg::kHighFirst, reg::kHighLast}};
}

int ParameterStore::Slot(uint16_t address) {
    const int slot = StoreIndex(address);
    if (slot < 0) throw std::out_of_range("register " + std::to_string(address) + " is not in the parameter store");
    return slot;
}

uint8_t ParameterStore::Read(uint16_t address, uint16_t& value) {
    value = m_ram[Slot(address)];
    return mbex::kNone;
}

std::optional<ParameterStore::Limit> ParameterStore::LimitAt(uint16_t address) const {
    const int slot = StoreIndex(address);
    if (slot < 0) return std::nullopt;
    return m_limits[slot];
}

uint8_t ParameterStore::CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) {
    const auto limit = m_limits[Slot(address)];
    if (!limit) return mbex::kNone;
    int64_t v = 0;
    switch (limit->type) {
    case Limit::Type::Short:
        v = static_cast<int16_t>(value);
        break;
    case Limit::Type::UShort:
        v = value;
        break;
    case Limit::Type::Int: {
        const auto highAddress = static_cast<uint16_t>(address - 1);
        const uint16_t high = request.Covers(highAddress) ? request.ValueAt(highAddress) : m_ram[Slot(highAddress)];
        v = static_cast<int32_t>(static_cast<uint32_t>(high) << 16 | value);
        break;
    }
    }
    return v < limit->min || v > limit->max ? mbex::kIllegalValue : mbex::kNone;
}

void ParameterStore::Write(uint16_t address, uint16_t value, const WriteRequest&) {
    m_ram[Slot(address)] = value;
    ++m_ramRevision;
}

void ParameterStore::SetVisible(uint16_t address, bool visible) {
    m_visible[Slot(address)] = visible;
    ++m_visibilityRevision;
}

void ParameterStore::LoadDefinitions(const std::string& databasePath, const std::string& model) {
    if (databasePath == "-") {
        std::fill(m_visible.begin(), m_visible.end(), true);
    } else {
        const std::string path = databasePath.empty() ? hx::DataFolder() + "/DATA.sqlite" : databasePath;
        for (const auto& d : hx::LoadDefinitions(path, model)) {
            const int slot = StoreIndex(d.address);
            if (slot < 0) continue;
            m_visible[slot] = d.visible;
            // Registers that are not settings keep their own behaviour; a
            // definition there gives only its visibility.
            if (ClassifyRegister(d.address) != RegisterKind::Parameter) continue;
            const long long v = ParseDefault(d.defaultValue);
            const auto scope = ParseScope(d.scope);
            if (d.dataType == "INT") {
                const auto u = static_cast<uint32_t>(static_cast<int64_t>(v));
                m_factory[slot] = static_cast<uint16_t>(u & 0xFFFF);
                const int high = d.address > 0 ? StoreIndex(static_cast<uint16_t>(d.address - 1)) : -1;
                const bool hasHigh =
                    high >= 0 && ClassifyRegister(static_cast<uint16_t>(d.address - 1)) == RegisterKind::Parameter;
                if (hasHigh) m_factory[high] = static_cast<uint16_t>(u >> 16);
                if (scope && hasHigh) m_limits[slot] = Limit{Limit::Type::Int, scope->first, scope->second};
            } else {
                m_factory[slot] = static_cast<uint16_t>(static_cast<int64_t>(v) & 0xFFFF);
                if (scope)
                    m_limits[slot] = Limit{d.dataType == "USHORT" ? Limit::Type::UShort : Limit::Type::Short,
                                           scope->first, scope->second};
            }
        }
    }
    ++m_visibilityRevision;
    m_nv = m_factory;
    m_ram = m_nv;
    ++m_ramRevision;
}

// The state file: a header line, then "nv ADDRESS VALUE" and
// "factory ADDRESS VALUE" lines. Addresses it does not list keep their
// defaults. Several drives on one line keep their memories in one file, each
// in a section that starts with "[station N]"; a drive without a section
// owns the whole file.
void ParameterStore::LoadState(const std::string& path, int section) {
    if (path.empty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read drive state file " + path + ": " + std::strerror(errno));
    std::string line;
    int lineNo = 0;
    bool headerSeen = false;
    int current = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!headerSeen) {
            if (line != kStateHeader) throw std::runtime_error("drive state file " + path + " is not a drive state file");
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            current = SectionStation(line);
            if (current <= 0)
                throw std::runtime_error("drive state file " + path + ", line " + std::to_string(lineNo) +
                                         ": cannot read \"" + line + "\"");
            if (section == 0)
                throw std::runtime_error("drive state file " + path +
                                         " keeps the memories of several drives, one section per station; "
                                         "serve them all (--stations) or give another file");
            continue;
        }
        if (current == 0 && section != 0)
            throw std::runtime_error("drive state file " + path +
                                     " keeps the memory of one drive; serve it alone (--station) or give another file");
        if (current != section) continue;
        std::istringstream fields(line);
        std::string set;
        long address = -1, value = -1;
        fields >> set >> address >> value;
        const int slot = (address >= 0 && address <= 0xFFFF) ? StoreIndex(static_cast<uint16_t>(address)) : -1;
        if (!fields || slot < 0 || value < 0 || value > 0xFFFF || (set != "nv" && set != "factory"))
            throw std::runtime_error("drive state file " + path + ", line " + std::to_string(lineNo) +
                                     ": cannot read \"" + line + "\"");
        (set == "nv" ? m_nv : m_factory)[slot] = static_cast<uint16_t>(value);
    }
    if (!headerSeen && lineNo > 0) throw std::runtime_error("drive state file " + path + " is not a drive state file");
    m_ram = m_nv;
    ++m_ramRevision;
}

// Written to a temporary file and renamed over the old one, so a crash
// leaves either the old state or the new one, never half of each. A drive
// with a section keeps the other drives' sections as the file holds them;
// the drives of one line save from their own threads, so the rewrite of a
// shared file is done under one lock.
bool ParameterStore::SaveState(const std::string& path, int section) {
    if (path.empty()) return true;
    std::string own;
    own.reserve(reg::kStoreSize * 2 * 16);
    for (int i = 0; i < reg::kStoreSize; ++i) own += "nv " + Dec(StoreAddress(i)) + " " + Dec(m_nv[i]) + "\n";
    for (int i = 0; i < reg::kStoreSize; ++i) own += "factory " + Dec(StoreAddress(i)) + " " + Dec(m_factory[i]) + "\n";

    static std::mutex sharedFiles;
    std::unique_lock lock(sharedFiles, std::defer_lock);
    std::string text = std::string(kStateHeader) + "\n";
    if (section == 0) {
        text += own;
    } else {
        lock.lock();
        std::map<int, std::string> sections = OtherSections(path);
        sections[section] = own;
        for (const auto& [station, lines] : sections) text += "[station " + Dec(static_cast<unsigned>(station)) + "]\n" + lines;
    }

    int err = 0;
    if (!hx::WriteFileAtomically(path, text, nullptr, &err)) {
        m_stateError = "cannot write drive state file " + path + ": " + std::strerror(err);
        std::fprintf(stderr, "%s\n", m_stateError.c_str());
        return false;
    }
    m_stateError.clear();
    return true;
}

}  // namespace hx::sim
