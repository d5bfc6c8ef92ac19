#include "sim/VirtualDrive.h"

#include <stdexcept>

#include "core/protocol/ServoParameters.h"

#include "sim/parts/Alarms.h"
#include "sim/parts/AttributeBlocks.h"
#include "sim/capture/SamplingEngine.h"
#include "sim/capture/SpectrumEngine.h"
#include "sim/motor/MotorPart.h"
#include "sim/parts/FrontPanel.h"
#include "sim/parts/ParameterStore.h"
#include "sim/parts/MotionCommands.h"
#include "sim/parts/StorageCommands.h"
#include "sim/parts/Watchdog.h"

namespace hx::sim {
namespace {

constexpr size_t kMaxLoggedRequests = 200000;

[[noreturn]] void Unmapped(uint16_t address) {
    throw std::out_of_range("register " + std::to_string(address) + " is not mapped");
}

}  // namespace

VirtualDrive::VirtualDrive(DriveOptions options)
    : m_options(std::move(options)),
      m_clock(m_options.clock ? m_options.clock : std::make_shared<RealTimeClock>()) {
    MotorParameters motor;
    m_motor = &m_bus.Add(std::make_unique<MotorPart>(motor, MachineOf(m_options), m_options.seed));
    m_motor->SetExternalMotion(MakeMotion(m_options.motion, motor.pulsesPerRev));

    const hx::servo::Model servoModel = hx::servo::ModelFromName(m_options.driveModel);
    auto store = std::make_unique<ParameterStore>();
    store->LoadDefinitions(m_options.databasePath, m_options.driveModel);
    if (m_options.databasePath == "-") {
        // Without definitions the program knows no factory values, but the
        // drive's firmware does: its loops start from its own.
        for (int p = 0; p < hx::servo::kParamCount; ++p) {
            const auto param = static_cast<hx::servo::Param>(p);
            if (const auto address = hx::servo::Address(servoModel, param)) {
                const auto word = static_cast<uint16_t>(hx::servo::FactoryWord(servoModel, param));
                store->SetFactory(*address, word);
                store->SetNv(*address, word);
                store->SetRam(*address, word);
            }
        }
    }
    if (m_options.currentAutoTune) store->SetVisible(reg::kCurrentAutoTune, true);
    store->LoadState(m_options.stateFile, m_options.stateSection);
    m_store = &m_bus.Add(std::move(store));
    m_motor->UseParameters(*m_store, servoModel);
    // Before the storage commands and the spectrum: its data area reaches
    // over their registers, which keep them.
    SamplingOptions sampling;
    sampling.sourceMask = m_options.sourceMask;
    sampling.channels = m_options.sampleChannels;
    sampling.capacity = m_options.sampleCapacity;
    sampling.hasPointsRegister = m_options.firmwareRegister >= reg::kSampleFirmwareWithPoints;
    m_sampling = &m_bus.Add(std::make_unique<SamplingEngine>(sampling, m_motor->Model()));

    auto commands = std::make_unique<StorageCommands>(*m_store, m_options.stateFile,
                                                      std::chrono::milliseconds(std::max(0, m_options.commandDelayMs)),
                                                      m_options.stateSection);
    for (uint16_t r : m_options.stuckRegisters) commands->SetStuck(r, true);
    m_commands = &m_bus.Add(std::move(commands));
    m_bus.Add(std::make_unique<Identity>(m_options));
    m_bus.Add(std::make_unique<AttributeBlocks>(*m_store));

    m_spectrum = &m_bus.Add(std::make_unique<SpectrumEngine>(m_motor->Model()));
    m_motor->AddTap(*m_sampling);
    m_motor->AddTap(*m_spectrum);
    m_bus.Add(std::make_unique<FrontPanel>(m_options.aliasSwitch));
    m_motionCommands = &m_bus.Add(std::make_unique<MotionCommands>(*m_store, *m_motor, *m_sampling, m_options.seed));

    auto alarms = std::make_unique<Alarms>(*m_store, std::chrono::milliseconds(std::max(0, m_options.historyClearDelayMs)));
    alarms->SetHistoryClearStuck(m_options.historyClearStuck);
    for (int code : m_options.alarms) alarms->Raise(code);
    alarms->WatchMotor(*m_motor, hx::servo::FollowingErrorLimitAddress(servoModel));
    m_alarms = &m_bus.Add(std::move(alarms));
    m_motionCommands->WatchAlarms(*m_alarms);
    m_watchdog = &m_bus.Add(std::make_unique<Watchdog>(*m_store, *m_motionCommands, *m_alarms));

    if (m_clock->RunsByItself()) m_clockThread = std::thread([this] { ClockThread(); });
}

VirtualDrive::~VirtualDrive() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_clockThread.joinable()) m_clockThread.join();
}

// Wakes the parts when something of theirs falls due, so that a storage
// command completes (and is written to the state file) on time even when
// nobody asks the drive anything.
void VirtualDrive::ClockThread() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        AdvanceLocked();
        const auto due = m_bus.NextDue();
        if (!due) {
            m_wake.wait(lock);
        } else {
            const auto wait = *due - m_clock->Now();
            if (wait > SimTime::zero()) m_wake.wait_for(lock, wait);
        }
    }
}

void VirtualDrive::ArriveLocked() {
    AdvanceLocked();
    m_watchdog->Feed(m_clock->Now());
}

void VirtualDrive::Advance() {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
}

uint8_t VirtualDrive::ReadRegisters(uint16_t address, uint16_t count, uint16_t* out) {
    std::lock_guard lock(m_mutex);
    ArriveLocked();
    if (m_busy) return mbex::kDeviceBusy;
    return m_bus.Read(address, count, out);
}

uint8_t VirtualDrive::WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count) {
    uint8_t result;
    {
        std::lock_guard lock(m_mutex);
        ArriveLocked();
        if (m_busy) return mbex::kDeviceBusy;
        // A block of one register obeys the single-write rules: it is one
        // value the sender means to set.
        result = m_bus.Write(WriteRequest{address, values, count, count == 1});
    }
    m_wake.notify_all();  // a write may have started something that falls due
    return result;
}

uint8_t VirtualDrive::WriteRegister(uint16_t address, uint16_t value) {
    uint8_t result;
    {
        std::lock_guard lock(m_mutex);
        ArriveLocked();
        if (m_busy) return mbex::kDeviceBusy;
        result = m_bus.Write(WriteRequest{address, &value, 1, true});
    }
    m_wake.notify_all();
    return result;
}

uint16_t VirtualDrive::ReadRegister(uint16_t address) {
    uint16_t v = 0;
    if (ReadRegisters(address, 1, &v) != mbex::kNone) Unmapped(address);
    return v;
}

uint16_t VirtualDrive::Peek(uint16_t address) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    uint16_t v = 0;
    if (!m_bus.Peek(address, v)) Unmapped(address);
    return v;
}

void VirtualDrive::Poke(uint16_t address, uint16_t value) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_bus.Poke(address, value)) Unmapped(address);
    }
    m_wake.notify_all();
}

// RAM is what the wire reads: registers another part took over from the
// store (sampling settings and status, the data area) are that part's.
uint16_t VirtualDrive::Ram(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    if (Part* p = m_bus.At(address); p && p != m_store) {
        uint16_t v = 0;
        m_bus.Peek(address, v);
        return v;
    }
    return m_store->Ram(address);
}
void VirtualDrive::SetRam(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    if (Part* p = m_bus.At(address); p && p != m_store) {
        m_bus.Poke(address, value);
        return;
    }
    m_store->SetRam(address, value);
}
uint16_t VirtualDrive::Nv(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_store->Nv(address);
}
void VirtualDrive::SetNv(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    m_store->SetNv(address, value);
}
uint16_t VirtualDrive::Factory(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_store->Factory(address);
}
void VirtualDrive::SetFactory(uint16_t address, uint16_t value) {
    std::lock_guard lock(m_mutex);
    m_store->SetFactory(address, value);
}
bool VirtualDrive::Visible(uint16_t address) const {
    std::lock_guard lock(m_mutex);
    return m_store->Visible(address);
}
void VirtualDrive::SetVisible(uint16_t address, bool visible) {
    std::lock_guard lock(m_mutex);
    m_store->SetVisible(address, visible);
}

bool VirtualDrive::RaiseAlarm(int code) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_alarms->Raise(code);
}

void VirtualDrive::SetAlarmCondition(int code, bool present) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    m_alarms->SetCondition(code, present);
}

int VirtualDrive::CurrentAlarm() {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_alarms->Current();
}

int VirtualDrive::AlarmHistory(int index) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_alarms->History(index);
}

void VirtualDrive::SetHistoryClearTime(std::chrono::milliseconds time) {
    std::lock_guard lock(m_mutex);
    m_alarms->SetHistoryClearTime(time);
}

void VirtualDrive::SetHistoryClearStuck(bool stuck) {
    {
        std::lock_guard lock(m_mutex);
        m_alarms->SetHistoryClearStuck(stuck);
    }
    m_wake.notify_all();
}

void VirtualDrive::SetExternalMotionPaused(bool paused) {
    {
        std::lock_guard lock(m_mutex);
        AdvanceLocked();
        m_motor->PauseExternalMotion(paused);
    }
    m_wake.notify_all();
}

bool VirtualDrive::ExternalMotionPaused() {
    std::lock_guard lock(m_mutex);
    return m_motor->ExternalMotionPaused();
}

bool VirtualDrive::ExternalMotionActive() {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_motor->ExternalMotionActive();
}

int VirtualDrive::WatchdogTrips() {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_watchdog->Trips();
}

bool VirtualDrive::CommandBusy(uint16_t r) {
    std::lock_guard lock(m_mutex);
    AdvanceLocked();
    return m_commands->Busy(r);
}

int VirtualDrive::CommandsCompleted(uint16_t r) const {
    std::lock_guard lock(m_mutex);
    return m_commands->Completed(r);
}

void VirtualDrive::SetStuck(uint16_t r, bool stuck) {
    {
        std::lock_guard lock(m_mutex);
        m_commands->SetStuck(r, stuck);
    }
    m_wake.notify_all();
}

void VirtualDrive::SetCommandDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_commands->SetRunTime(delay);
}

void VirtualDrive::FinishPendingCommands() {
    std::lock_guard lock(m_mutex);
    m_commands->FinishPending();
}

bool VirtualDrive::SaveState() {
    std::lock_guard lock(m_mutex);
    return m_commands->SaveState();
}

std::string VirtualDrive::LastStateError() const {
    std::lock_guard lock(m_mutex);
    return m_store->LastStateError();
}

void VirtualDrive::SetBusy(bool busy) {
    std::lock_guard lock(m_mutex);
    m_busy = busy;
}

void VirtualDrive::RecordRequest(const Request& request) {
    std::lock_guard lock(m_mutex);
    // Also a request the drive refuses before any part sees it.
    ArriveLocked();
    ++m_requestCount;
    m_requests.push_back(request);
    m_requests.back().at = std::chrono::steady_clock::now();
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
