#include "sim/VirtualDrive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/params/DriveDefinitions.h"
#include "core/settings/AppPaths.h"
#include "core/util/AtomicFile.h"

namespace hx::sim {
namespace {

constexpr size_t kMaxLoggedRequests = 200000;
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

std::string Dec(unsigned a) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", a);
    return buf;
}

}  // namespace

void EncodeText(const std::string& text, uint16_t* regs, int count) {
    for (int i = 0; i < count; ++i) {
        size_t k = static_cast<size_t>(i) * 2;
        uint8_t hi = k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
        uint8_t lo = k + 1 < text.size() ? static_cast<uint8_t>(text[k + 1]) : 0;
        regs[i] = static_cast<uint16_t>(hi << 8 | lo);
    }
}

VirtualDrive::VirtualDrive(DriveOptions options)
    : m_options(std::move(options)),
      m_commandDelay(std::max(0, m_options.commandDelayMs)),
      m_ram(reg::kStoreSize, 0),
      m_nv(reg::kStoreSize, 0),
      m_factory(reg::kStoreSize, 0),
      m_visible(reg::kStoreSize, false) {
    m_commands[0].reg = reg::kSaveCommand;
    m_commands[0].value = reg::kSaveValue;
    m_commands[1].reg = reg::kRestoreCommand;
    m_commands[1].value = reg::kRestoreValue;
    m_commands[2].reg = reg::kBurnCommand;
    m_commands[2].value = reg::kBurnValue;
    for (auto& c : m_commands) c.stuck = m_options.stuckRegisters.count(c.reg) > 0;

    EncodeText(m_options.productModel, m_productModel, std::size(m_productModel));
    EncodeText(m_options.driveModel, m_driveModel, std::size(m_driveModel));
    m_software = static_cast<uint16_t>(m_options.softwareRegister);
    m_firmware = static_cast<uint16_t>(m_options.firmwareRegister);
    m_variant = m_options.variantCode;

    LoadDefinitions();
    m_nv = m_factory;
    LoadState();
    m_ram = m_nv;
    RebuildAttributesLocked();

    m_alarms.SetHistoryClearDelay(std::chrono::milliseconds(std::max(0, m_options.historyClearDelayMs)));
    m_alarms.SetHistoryClearStuck(m_options.historyClearStuck);
    for (int code : m_options.alarms) m_alarms.Raise(code, MaskLocked());

    m_clock = std::thread([this] { ClockThread(); });
}

VirtualDrive::~VirtualDrive() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_clock.joinable()) m_clock.join();
}

void VirtualDrive::LoadDefinitions() {
    if (m_options.databasePath == "-") {
        std::fill(m_visible.begin(), m_visible.end(), true);
        return;
    }
    const std::string path =
        m_options.databasePath.empty() ? hx::DataFolder() + "/DATA.sqlite" : m_options.databasePath;
    const auto defs = hx::LoadDefinitions(path, m_options.driveModel);
    for (const auto& d : defs) {
        const int slot = StoreIndex(d.address);
        if (slot < 0) continue;
        m_visible[slot] = d.visible;
        // Registers that are not settings keep their own behaviour; a
        // definition there gives only its visibility.
        if (ClassifyRegister(d.address) != RegisterKind::Parameter) continue;
        const long long v = ParseDefault(d.defaultValue);
        if (d.dataType == "INT") {
            const auto u = static_cast<uint32_t>(static_cast<int64_t>(v));
            m_factory[slot] = static_cast<uint16_t>(u & 0xFFFF);
            const int high = d.address > 0 ? StoreIndex(static_cast<uint16_t>(d.address - 1)) : -1;
            if (high >= 0 && ClassifyRegister(static_cast<uint16_t>(d.address - 1)) == RegisterKind::Parameter)
                m_factory[high] = static_cast<uint16_t>(u >> 16);
        } else {
            m_factory[slot] = static_cast<uint16_t>(static_cast<int64_t>(v) & 0xFFFF);
        }
    }
}

// The state file: a header line, then "nv ADDRESS VALUE" and
// "factory ADDRESS VALUE" lines. Addresses it does not list keep their
// defaults.
void VirtualDrive::LoadState() {
    if (m_options.stateFile.empty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(m_options.stateFile, ec)) return;
    std::ifstream in(m_options.stateFile);
    if (!in) {
        throw std::runtime_error("cannot read drive state file " + m_options.stateFile + ": " +
                                 std::strerror(errno));
    }
    std::string line;
    int lineNo = 0;
    bool headerSeen = false;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!headerSeen) {
            if (line != kStateHeader)
                throw std::runtime_error("drive state file " + m_options.stateFile + " is not a drive state file");
            headerSeen = true;
            continue;
        }
        std::istringstream fields(line);
        std::string set;
        long address = -1, value = -1;
        fields >> set >> address >> value;
        const int slot = (address >= 0 && address <= 0xFFFF) ? StoreIndex(static_cast<uint16_t>(address)) : -1;
        if (!fields || slot < 0 || value < 0 || value > 0xFFFF || (set != "nv" && set != "factory"))
            throw std::runtime_error("drive state file " + m_options.stateFile + ", line " +
                                     std::to_string(lineNo) + ": cannot read \"" + line + "\"");
        (set == "nv" ? m_nv : m_factory)[slot] = static_cast<uint16_t>(value);
    }
    if (!headerSeen && lineNo > 0)
        throw std::runtime_error("drive state file " + m_options.stateFile + " is not a drive state file");
}

bool VirtualDrive::SaveState() {
    std::lock_guard lock(m_mutex);
    return SaveStateLocked();
}

// Written to a temporary file and renamed over the old one, so a crash
// leaves either the old state or the new one, never half of each.
bool VirtualDrive::SaveStateLocked() {
    if (m_options.stateFile.empty()) return true;
    std::string text = std::string(kStateHeader) + "\n";
    text.reserve(reg::kStoreSize * 2 * 16);
    for (int i = 0; i < reg::kStoreSize; ++i) text += "nv " + Dec(StoreAddress(i)) + " " + Dec(m_nv[i]) + "\n";
    for (int i = 0; i < reg::kStoreSize; ++i)
        text += "factory " + Dec(StoreAddress(i)) + " " + Dec(m_factory[i]) + "\n";

    int err = 0;
    if (!hx::WriteFileAtomically(m_options.stateFile, text, nullptr, &err)) {
        m_stateError = "cannot write drive state file " + m_options.stateFile + ": " + std::strerror(err);
        std::fprintf(stderr, "%s\n", m_stateError.c_str());
        return false;
    }
    m_stateError.clear();
    return true;
}

std::string VirtualDrive::LastStateError() const {
    std::lock_guard lock(m_mutex);
    return m_stateError;
}

void VirtualDrive::RebuildAttributesLocked() {
    for (int j = 0; j < static_cast<int>(std::size(m_lowAttr)); ++j) {
        uint16_t bits = 0;
        for (int k = 0; k < 16; ++k) {
            const int slot = StoreIndex(static_cast<uint16_t>(16 * j + k));
            const int address = 16 * j + k;
            if (address <= reg::kLowLast && slot >= 0 && m_visible[slot]) bits |= static_cast<uint16_t>(1u << k);
        }
        m_lowAttr[j] = bits;
    }
    for (int j = 0; j < static_cast<int>(std::size(m_highAttr)); ++j) {
        uint16_t bits = 0;
        for (int k = 0; k < 16; ++k) {
            const int slot = StoreIndex(static_cast<uint16_t>(reg::kHighFirst + 16 * j + k));
            if (slot >= 0 && m_visible[slot]) bits |= static_cast<uint16_t>(1u << k);
        }
        m_highAttr[j] = bits;
    }
}

VirtualDrive::Command* VirtualDrive::FindCommand(uint16_t r) {
    for (auto& c : m_commands)
        if (c.reg == r) return &c;
    return nullptr;
}
const VirtualDrive::Command* VirtualDrive::FindCommand(uint16_t r) const {
    for (auto& c : m_commands)
        if (c.reg == r) return &c;
    return nullptr;
}

void VirtualDrive::CompleteLocked(Command& c) {
    switch (c.reg) {
    case reg::kSaveCommand:
        m_nv = m_ram;
        break;
    case reg::kRestoreCommand:
        m_ram = m_factory;
        m_nv = m_factory;
        break;
    case reg::kBurnCommand:
        m_factory = m_ram;
        break;
    }
    c.running = false;
    c.current = 0;
    ++c.completed;
    SaveStateLocked();
}

void VirtualDrive::AdvanceLocked(Clock::time_point now) {
    m_alarms.Advance(AlarmNowLocked(now));
    for (auto& c : m_commands)
        if (c.running && !c.stuck && now >= c.due) CompleteLocked(c);
}

void VirtualDrive::ClockThread() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        AdvanceLocked(Clock::now());
        Clock::time_point next = Clock::time_point::max();
        for (auto& c : m_commands)
            if (c.running && !c.stuck) next = std::min(next, c.due);
        if (next == Clock::time_point::max())
            m_wake.wait(lock);
        else
            m_wake.wait_until(lock, next);
    }
}

uint16_t VirtualDrive::ReadLocked(uint16_t a) const {
    switch (ClassifyRegister(a)) {
    case RegisterKind::Alarm:
        return m_alarms.Read(a);
    case RegisterKind::Parameter:
        return m_ram[StoreIndex(a)];
    case RegisterKind::Capture:
        return m_capture[a - reg::kCaptureFirst];
    case RegisterKind::Command:
        return FindCommand(a)->current;
    case RegisterKind::Attribute:
        return a >= reg::kHighAttrFirst ? m_highAttr[a - reg::kHighAttrFirst] : m_lowAttr[a - reg::kLowAttrFirst];
    case RegisterKind::Identity:
        if (a == reg::kSoftwareVersion) return m_software;
        if (a == reg::kFirmwareVersion) return m_firmware;
        if (a == reg::kVariantCode) return m_variant;
        if (a >= reg::kDriveModelFirst) return m_driveModel[a - reg::kDriveModelFirst];
        return m_productModel[a - reg::kProductModelFirst];
    case RegisterKind::Unmapped:
        break;
    }
    return 0;
}

uint8_t VirtualDrive::ReadRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    if (static_cast<uint32_t>(address) + count > 0x10000u) return mbex::kIllegalAddress;
    std::lock_guard lock(m_mutex);
    AdvanceLocked(Clock::now());
    for (uint32_t i = 0; i < count; ++i)
        if (ClassifyRegister(static_cast<uint16_t>(address + i)) == RegisterKind::Unmapped)
            return mbex::kIllegalAddress;
    for (uint32_t i = 0; i < count; ++i) out[i] = ReadLocked(static_cast<uint16_t>(address + i));
    return mbex::kNone;
}

uint8_t VirtualDrive::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count) {
    if (static_cast<uint32_t>(address) + count > 0x10000u) return mbex::kIllegalAddress;
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    AdvanceLocked(now);
    // Check the whole request first, so a refused request changes nothing.
    for (uint32_t i = 0; i < count; ++i) {
        const auto a = static_cast<uint16_t>(address + i);
        const auto kind = ClassifyRegister(a);
        if (kind == RegisterKind::Unmapped) return mbex::kIllegalAddress;
    }
    // A single write that would change a read-only register is refused. A
    // block write leaves such registers as they are and takes the rest: the
    // whole-table write sends identity and attribute registers back, and a
    // parameter set taken from another drive must still load.
    if (count == 1 && IsReadOnly(ClassifyRegister(address)) && ReadLocked(address) != values[0])
        return mbex::kIllegalValue;
    if (count == 1 && ClassifyRegister(address) == RegisterKind::Alarm)
        return m_alarms.Write(address, values[0], true, AlarmNowLocked(now), MaskLocked());
    bool started = false;
    for (uint32_t i = 0; i < count; ++i) {
        const auto a = static_cast<uint16_t>(address + i);
        switch (ClassifyRegister(a)) {
        case RegisterKind::Alarm:
            m_alarms.Write(a, values[i], false, AlarmNowLocked(now), MaskLocked());
            break;
        case RegisterKind::Parameter:
            m_ram[StoreIndex(a)] = values[i];
            break;
        case RegisterKind::Capture:
            m_capture[a - reg::kCaptureFirst] = values[i];
            break;
        case RegisterKind::Command: {
            Command& c = *FindCommand(a);
            if (values[i] == c.value && c.current == 0) {
                c.current = c.value;
                c.running = true;
                c.due = now + m_commandDelay;
                started = true;
            }
            break;
        }
        default:
            break;  // read-only, unchanged
        }
    }
    if (started) m_wake.notify_all();
    return mbex::kNone;
}

uint16_t VirtualDrive::ReadRegister(uint16_t address) {
    uint16_t v = 0;
    if (ReadRegisters(address, 1, &v) != mbex::kNone)
        throw std::out_of_range("register " + std::to_string(address) + " is not mapped");
    return v;
}

uint16_t VirtualDrive::Peek(uint16_t address) {
    if (ClassifyRegister(address) == RegisterKind::Unmapped)
        throw std::out_of_range("register " + std::to_string(address) + " is not mapped");
    std::lock_guard lock(m_mutex);
    AdvanceLocked(Clock::now());
    return ReadLocked(address);
}

void VirtualDrive::Poke(uint16_t a, uint16_t value) {
    std::lock_guard lock(m_mutex);
    switch (ClassifyRegister(a)) {
    case RegisterKind::Parameter:
        m_ram[StoreIndex(a)] = value;
        return;
    case RegisterKind::Capture:
        m_capture[a - reg::kCaptureFirst] = value;
        return;
    case RegisterKind::Command: {
        Command& c = *FindCommand(a);
        c.current = value;
        c.running = false;
        return;
    }
    case RegisterKind::Alarm:
        return;  // they follow the alarms raised (RaiseAlarm)
    case RegisterKind::Attribute:
        if (a >= reg::kHighAttrFirst) m_highAttr[a - reg::kHighAttrFirst] = value;
        else m_lowAttr[a - reg::kLowAttrFirst] = value;
        return;
    case RegisterKind::Identity:
        if (a == reg::kSoftwareVersion) m_software = value;
        else if (a == reg::kFirmwareVersion) m_firmware = value;
        else if (a == reg::kVariantCode) m_variant = value;
        else if (a >= reg::kDriveModelFirst) m_driveModel[a - reg::kDriveModelFirst] = value;
        else m_productModel[a - reg::kProductModelFirst] = value;
        return;
    case RegisterKind::Unmapped:
        break;
    }
    throw std::out_of_range("register " + std::to_string(a) + " is not mapped");
}

bool VirtualDrive::RaiseAlarm(int code) {
    std::lock_guard lock(m_mutex);
    return m_alarms.Raise(code, MaskLocked());
}

void VirtualDrive::SetAlarmCondition(int code, bool present) {
    std::lock_guard lock(m_mutex);
    m_alarms.SetCondition(code, present, MaskLocked());
}

int VirtualDrive::CurrentAlarm() {
    std::lock_guard lock(m_mutex);
    AdvanceLocked(Clock::now());
    return m_alarms.Current();
}

int VirtualDrive::AlarmHistory(int index) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked(Clock::now());
    return m_alarms.History(index);
}

void VirtualDrive::SetHistoryClearDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_alarms.SetHistoryClearDelay(delay);
}

void VirtualDrive::SetHistoryClearStuck(bool stuck) {
    std::lock_guard lock(m_mutex);
    m_alarms.SetHistoryClearStuck(stuck);
}

void VirtualDrive::StepAlarmTime(std::chrono::milliseconds step) {
    std::lock_guard lock(m_mutex);
    m_alarmTimeOffset += step;
    AdvanceLocked(Clock::now());
}

int VirtualDrive::StoreSlot(uint16_t address) {
    const int slot = StoreIndex(address);
    if (slot < 0) throw std::out_of_range("register " + std::to_string(address) + " is not in the parameter store");
    return slot;
}

uint16_t VirtualDrive::Ram(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    if (address >= reg::kCaptureFirst && address <= reg::kCaptureLast) return m_capture[address - reg::kCaptureFirst];
    return m_ram[StoreSlot(address)];
}
void VirtualDrive::SetRam(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    if (address >= reg::kCaptureFirst && address <= reg::kCaptureLast) {
        m_capture[address - reg::kCaptureFirst] = value;
        return;
    }
    m_ram[StoreSlot(address)] = value;
}
uint16_t VirtualDrive::Nv(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_nv[StoreSlot(address)];
}
void VirtualDrive::SetNv(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    m_nv[StoreSlot(address)] = value;
}
uint16_t VirtualDrive::Factory(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_factory[StoreSlot(address)];
}
void VirtualDrive::SetFactory(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    m_factory[StoreSlot(address)] = value;
}
bool VirtualDrive::Visible(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_visible[StoreSlot(address)];
}
void VirtualDrive::SetVisible(uint16_t address, bool visible) {
    std::lock_guard lock(m_mutex);
    m_visible[StoreSlot(address)] = visible;
    RebuildAttributesLocked();
}

bool VirtualDrive::CommandBusy(uint16_t r) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked(Clock::now());
    const Command* c = FindCommand(r);
    if (!c) throw std::out_of_range("register " + std::to_string(r) + " is not a storage command");
    return c->current != 0;
}

int VirtualDrive::CommandsCompleted(uint16_t r) const {
    std::lock_guard lock(m_mutex);
    const Command* c = FindCommand(r);
    if (!c) throw std::out_of_range("register " + std::to_string(r) + " is not a storage command");
    return c->completed;
}

void VirtualDrive::SetStuck(uint16_t r, bool stuck) {
    {
        std::lock_guard lock(m_mutex);
        Command* c = FindCommand(r);
        if (!c) throw std::out_of_range("register " + std::to_string(r) + " is not a storage command");
        c->stuck = stuck;
    }
    m_wake.notify_all();
}

void VirtualDrive::SetCommandDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_commandDelay = delay;
}

void VirtualDrive::FinishPendingCommands() {
    std::lock_guard lock(m_mutex);
    for (auto& c : m_commands)
        if (c.running && !c.stuck) CompleteLocked(c);
}

void VirtualDrive::RecordRequest(const Request& request) {
    std::lock_guard lock(m_mutex);
    ++m_requestCount;
    m_requests.push_back(request);
    if (m_requests.size() > kMaxLoggedRequests) m_requests.pop_front();
}

std::vector<VirtualDrive::Request> VirtualDrive::Requests() const {
    std::lock_guard lock(m_mutex);
    return {m_requests.begin(), m_requests.end()};
}

uint64_t VirtualDrive::RequestCount() const {
    std::lock_guard lock(m_mutex);
    return m_requestCount;
}

void VirtualDrive::ClearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_requestCount = 0;
}

}  // namespace hx::sim
