#pragma once
// The register map of a simulated drive and its behaviour on its own clock:
// identity, a parameter store in RAM with a non-volatile copy and a factory
// set, attribute blocks from the parameter definitions, and the storage
// commands that keep their register busy for a while before clearing it.
//
// Thread-safe: the server thread and a test may use it at once.
//
// Rules on the wire:
//  - Read-only registers (identity, attribute blocks) accept a write that
//    leaves their value unchanged and ignore it, because the whole-table
//    write sends back what the whole-table read got; a changing write
//    answers exception 3.
//  - A storage command acts only when written with its command value; any
//    other value is accepted and ignored (the register keeps reading 0, or
//    the command value while a command runs). A command written again while
//    it runs is ignored too. Its effect takes place when it completes, and a
//    stuck command never completes.
//  - Addresses outside every mapped range answer exception 2, and a request
//    touching one is not carried out at all.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/AlarmUnit.h"
#include "sim/InProcessDrive.h"
#include "core/protocol/Registers.h"

namespace hx::sim {

// Modbus exception codes the drive answers with.
namespace mbex {
constexpr uint8_t kNone = 0;
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
}  // namespace mbex

class VirtualDrive {
public:
    using Clock = std::chrono::steady_clock;

    // One request as it reached the drive (station matched, frame intact).
    struct Request {
        uint8_t station;
        uint8_t function;
        uint16_t address;
        uint16_t count;
    };

    // Loads the definitions (databasePath "-" = none: all zeros, all visible)
    // and the state file. Throws DbError for database trouble and
    // std::runtime_error for an unreadable state file.
    explicit VirtualDrive(DriveOptions options);
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    const DriveOptions& Options() const { return m_options; }

    // --- As the wire sees it. Return 0 or a Modbus exception code.
    uint8_t ReadRegisters(uint16_t address, uint16_t count, uint16_t* out);
    uint8_t WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count);
    uint8_t WriteRegister(uint16_t address, uint16_t value) { return WriteRegisters(address, &value, 1); }
    // Throws std::out_of_range for an unmapped address.
    uint16_t ReadRegister(uint16_t address);

    // --- Direct access for tests, bypassing the wire rules.
    // Any mapped register, read-only ones included. Poking a command register
    // makes it read that value without acting (0 ends a running command
    // without its effect). Throw std::out_of_range for an unmapped address.
    uint16_t Peek(uint16_t address);
    void Poke(uint16_t address, uint16_t value);
    // The three sets of the parameter store (0..149, 30000..31999); Ram also
    // takes the capture area. Throw std::out_of_range elsewhere.
    uint16_t Ram(uint16_t address) const;
    void SetRam(uint16_t address, uint16_t value);
    uint16_t Nv(uint16_t address) const;
    void SetNv(uint16_t address, uint16_t value);
    uint16_t Factory(uint16_t address) const;
    void SetFactory(uint16_t address, uint16_t value);
    // Visibility of a parameter address (the attribute bits follow it).
    bool Visible(uint16_t address) const;
    void SetVisible(uint16_t address, bool visible);

    // Storage commands (90, 91, 410).
    bool CommandBusy(uint16_t reg);
    int CommandsCompleted(uint16_t reg) const;  // how many times it took effect
    void SetStuck(uint16_t reg, bool stuck);
    void SetCommandDelay(std::chrono::milliseconds delay);
    // Completes every running command that is not stuck, now (used at exit).
    void FinishPendingCommands();
    // Writes NV and the factory set to the state file (no-op without one).
    // Returns false and keeps the reason in LastStateError() on failure.
    bool SaveState();
    std::string LastStateError() const;

    // Alarms (93, 139..148). Raising respects the fault-detection mask in
    // parameter 56; RaiseAlarm returns false when the mask suppresses it.
    bool RaiseAlarm(int code);
    // A lasting cause (the motor's following error, current, bus voltage):
    // raises its alarm when it comes, and keeps it from being cleared until
    // it goes.
    void SetAlarmCondition(int code, bool present);
    int CurrentAlarm();
    int AlarmHistory(int index);  // 0 = register 140
    void SetHistoryClearDelay(std::chrono::milliseconds delay);
    void SetHistoryClearStuck(bool stuck);
    // Moves the alarm part's clock on, for tests that step time instead of
    // sleeping through the history clear.
    void StepAlarmTime(std::chrono::milliseconds step);

    // --- Request log, filled by the server.
    void RecordRequest(const Request& request);
    std::vector<Request> Requests() const;
    uint64_t RequestCount() const;
    void ClearRequests();

private:
    struct Command {
        uint16_t reg = 0;
        uint16_t value = 0;    // the value that starts it
        uint16_t current = 0;  // what the register reads
        bool running = false;  // takes effect and clears at `due`
        bool stuck = false;
        Clock::time_point due{};
        int completed = 0;
    };

    void LoadDefinitions();
    void LoadState();
    bool SaveStateLocked();
    void RebuildAttributesLocked();
    void AdvanceLocked(Clock::time_point now);
    Clock::time_point AlarmNowLocked(Clock::time_point now) const { return now + m_alarmTimeOffset; }
    uint16_t MaskLocked() const { return m_ram[StoreIndex(reg::kFaultDetectionMask)]; }
    void CompleteLocked(Command& c);
    Command* FindCommand(uint16_t reg);
    const Command* FindCommand(uint16_t reg) const;
    uint16_t ReadLocked(uint16_t address) const;
    void ClockThread();
    static int StoreSlot(uint16_t address);  // throws std::out_of_range

    DriveOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::chrono::milliseconds m_commandDelay;

    std::vector<uint16_t> m_ram, m_nv, m_factory;
    std::vector<bool> m_visible;  // per store slot
    uint16_t m_lowAttr[reg::kLowAttrLast - reg::kLowAttrFirst + 1] = {};
    uint16_t m_highAttr[reg::kHighAttrLast - reg::kHighAttrFirst + 1] = {};
    uint16_t m_capture[reg::kCaptureLast - reg::kCaptureFirst + 1] = {};
    uint16_t m_productModel[reg::kProductModelLast - reg::kProductModelFirst + 1] = {};
    uint16_t m_driveModel[reg::kDriveModelLast - reg::kDriveModelFirst + 1] = {};
    uint16_t m_software = 0, m_firmware = 0, m_variant = 0;
    Command m_commands[3];
    std::string m_stateError;
    AlarmUnit m_alarms;
    Clock::duration m_alarmTimeOffset{};

    std::deque<Request> m_requests;
    uint64_t m_requestCount = 0;

    std::thread m_clock;
};

// Text into registers, two characters each, high byte first, zero-padded;
// longer text is cut.
void EncodeText(const std::string& text, uint16_t* regs, int count);

}  // namespace hx::sim
