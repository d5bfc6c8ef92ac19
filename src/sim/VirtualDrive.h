#pragma once
// A simulated drive: parts on a register bus, each owning its registers and
// changing on the drive's clock. VirtualDrive only composes them, holds the
// one lock every request takes, catches the parts up with the clock before
// each request, and (on a real-time clock) wakes them when something falls
// due by itself.
//
// Thread-safe: the server thread and a test may use it at once.
//
// Parts, in the order they take their addresses (a later one takes over
// addresses of an earlier one):
//  - the motor, which owns no register and runs first on every catch-up, so
//    the parts that look at it see it up to date; its loops run on the
//    parameters in the store's RAM, at the model's addresses, and its
//    machine comes from the options (MotorPart.h, Machine.h; LoopTruth.h
//    says the truth about both);
//  - parameter store: 0..149 and 30000..31999, RAM with a non-volatile copy
//    and a factory set, visibility and ranges from the definitions
//    (ParameterStore.h: a write outside a defined range answers exception 3);
//  - the sampling engine (32, 33, 34, 52, 94..96, 99, 136, 137, 149, data
//    from 150), which records the motor (SamplingEngine.h); its data area
//    reaches over the registers of the parts after it, which keep them
//    except in block reads;
//  - storage commands 90, 91, 410 (StorageCommands.h);
//  - identity and attribute blocks, read-only (ReadOnlyPart.h: a block write
//    leaves them as they are, a single write that changes one answers
//    exception 3);
//  - the spectrum (409, 412, 496, results from 8192) (SpectrumEngine.h);
//  - alarms: 93, 139..148 (Alarms.h), raised on demand, or by the motor
//    where a real drive would raise them;
//  - the communication watchdog (Watchdog.h), which owns no register: every
//    request that reaches the drive feeds it.
// Addresses no part answers give exception 2, and a request touching one is
// not carried out at all.
//
// A part that moves the motor (a test motion) gives it a MotionSource.
//
// Adding a part: derive from Part (sim/bus/Part.h), claim its addresses in
// Ranges(), and add it in the constructor after the parts it takes
// addresses from.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/protocol/Registers.h"
#include "sim/DriveOptions.h"
#include "sim/bus/Part.h"
#include "sim/bus/RegisterBus.h"
#include "sim/bus/SimClock.h"
#include "sim/parts/Identity.h"

namespace hx::sim {

class Alarms;
class ParameterStore;
class StorageCommands;
class MotorPart;
class SamplingEngine;
class SpectrumEngine;
class MotionCommands;
class Watchdog;

class VirtualDrive {
public:
    // One request as it reached the drive (station matched, frame intact).
    struct Request {
        uint8_t station;
        uint8_t function;
        uint16_t address;
        uint16_t count;
        uint16_t value;  // the first word written; 0 for a read
        // When it arrived, on the real clock: what a program's timing is
        // seen by, whatever the drive's own clock does.
        std::chrono::steady_clock::time_point at;
    };

    // Loads the definitions (databasePath "-" = none: all zeros, all visible,
    // no ranges) and the state file. Throws DbError for database trouble and
    // std::runtime_error for an unreadable state file.
    explicit VirtualDrive(DriveOptions options);
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    const DriveOptions& Options() const { return m_options; }
    SimClock& Clock() { return *m_clock; }

    // --- As the wire sees it. Return 0 or a Modbus exception code. Each is
    // a request that reached the drive and feeds its watchdog.
    uint8_t ReadRegisters(uint16_t address, uint16_t count, uint16_t* out);
    uint8_t WriteRegisters(uint16_t address, const uint16_t* values, uint16_t count);
    uint8_t WriteRegister(uint16_t address, uint16_t value);
    // Throws std::out_of_range for an unmapped address.
    uint16_t ReadRegister(uint16_t address);

    // Catches the parts up with the clock (after a test stepped it).
    void Advance();

    // Runs f(parts...) under the drive's lock, after catching up with the
    // clock: for tests and for parts' own controls (a motion source).
    template <class F>
    auto WithLock(F&& f) {
        std::lock_guard lock(m_mutex);
        m_bus.Advance(m_clock->Now());
        return f();
    }

    // The parts, for tests and for parts added later, used under the lock
    // (WithLock).
    ParameterStore& Store() { return *m_store; }
    MotorPart& Motor() { return *m_motor; }
    SamplingEngine& Sampling() { return *m_sampling; }
    MotionCommands& Motions() { return *m_motionCommands; }
    SpectrumEngine& Spectrum() { return *m_spectrum; }

    // --- Direct access for tests, bypassing the wire rules.
    // Any mapped register, read-only ones included. Poking a command register
    // makes it read that value without acting (0 ends a running command
    // without its effect). Throw std::out_of_range for an unmapped address.
    uint16_t Peek(uint16_t address);
    void Poke(uint16_t address, uint16_t value);
    // The three sets of the parameter store (0..149, 30000..31999); Ram is
    // what the wire reads, so it also reaches the registers other parts took
    // over and the sampling engine's data area. Throw std::out_of_range
    // elsewhere.
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

    // The motion controller on the pulse input (DriveOptions::motion):
    // paused, it finishes its move and then leaves the motor at rest.
    void SetExternalMotionPaused(bool paused);
    bool ExternalMotionPaused();
    // Whether it may move the motor now (present, and not yet at rest after a pause).
    bool ExternalMotionActive();
    // How many times the communication watchdog has acted.
    int WatchdogTrips();

    // Alarms (93, 139..148). Raising respects the fault-detection mask in
    // parameter 56; RaiseAlarm returns false when the mask suppresses it.
    bool RaiseAlarm(int code);
    // A lasting cause (the motor's following error, current, bus voltage):
    // raises its alarm when it comes, and keeps it from being cleared until
    // it goes.
    void SetAlarmCondition(int code, bool present);
    int CurrentAlarm();
    int AlarmHistory(int index);  // 0 = register 140
    void SetHistoryClearTime(std::chrono::milliseconds time);
    void SetHistoryClearStuck(bool stuck);

    // A drive that takes no requests for now answers every one with
    // exception 6 (device busy) and carries none of them out.
    void SetBusy(bool busy);

    // --- Request log, filled by the server.
    void RecordRequest(const Request& request);
    std::vector<Request> Requests() const;
    uint64_t RequestCount() const;
    void ClearRequests();

private:
    void AdvanceLocked() { m_bus.Advance(m_clock->Now()); }
    // A request reached the drive: the parts catch up, the watchdog is fed.
    void ArriveLocked();
    void ClockThread();

    DriveOptions m_options;
    std::shared_ptr<SimClock> m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;

    mutable RegisterBus m_bus;  // reading a part may catch it up
    ParameterStore* m_store = nullptr;
    StorageCommands* m_commands = nullptr;
    Alarms* m_alarms = nullptr;
    MotorPart* m_motor = nullptr;
    SamplingEngine* m_sampling = nullptr;
    MotionCommands* m_motionCommands = nullptr;
    SpectrumEngine* m_spectrum = nullptr;
    Watchdog* m_watchdog = nullptr;

    bool m_busy = false;
    std::deque<Request> m_requests;
    uint64_t m_requestCount = 0;

    std::thread m_clockThread;
};

}  // namespace hx::sim
