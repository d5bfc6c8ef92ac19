#pragma once
// The drive's sampling engine: records up to four of the motor's signals at
// an interval and keeps them in the capture area for the program to fetch.
//
// Registers: 52 source mask, 99 channels at once, 136 capacity (points for
// all channels together), 149 state (1 = complete) are read-only; 33
// interval in microseconds, 34/94/95/96 channel codes and 137 points per
// channel are settings; 32 <- 1 starts a capture; from 150 the points of the
// active channels one after the other (channel order 1..4, each `points`
// words, inactive channels take no room).
//
// Before firmware 200.0 the drive has no register 137 of its own (it is an
// ordinary parameter there) and captures 200 points a channel.
//
// A capture started at time T takes its k-th point at T + k x interval and
// reports complete at T + points x interval, never earlier. The settings
// are taken when it starts; changing them meanwhile changes the next one.
//
// The data area overlaps registers of other parts (the spectrum's 409, 412
// and 496, the burn command 410): those keep their single reads and their
// writes, and a block read of the area reads the capture throughout.
//
// Refused with exception 3, as a drive refuses a setting it cannot carry
// out, and leaving every register as it was:
//  - a channel code that is not one source of the mask (several bits, a bit
//    the mask lacks, the listed-only slot 16384);
//  - a channel code that makes more channels active than register 99 says;
//  - points per channel of 0 or above the capacity (on 137), and a start
//    whose points x active channels exceed the capacity (the codes and the
//    points may be written in any order; the current-loop test records one
//    channel whatever the codes say);
//  - an interval of 0.
// Any other value written to 32 is taken and ignored, as the storage
// commands do.

#include <array>
#include <vector>

#include "sim/bus/Part.h"
#include "sim/motor/MotorPart.h"

namespace hx::sim {

struct SamplingOptions {
    uint16_t sourceMask = 0xFFFF;  // register 52: every source, the listed-only slot too
    uint16_t channels = 4;         // register 99
    uint16_t capacity = 8000;      // register 136; the area must end below 8192
    bool hasPointsRegister = true;  // firmware 200.0 and later
};

class SamplingEngine final : public Part, public SignalTap {
public:
    static constexpr uint16_t kLegacyPoints = 200;
    // Most points the capture area can hold below the spectrum results.
    static uint16_t MaxCapacity();

    // Throws std::invalid_argument for a capacity the area cannot hold or
    // more than four channels.
    SamplingEngine(SamplingOptions options, MotorModel& motor);

    std::string_view Name() const override { return "sampling engine"; }
    std::vector<AddressRange> Ranges() const override;
    std::vector<AddressRange> BlockReadRanges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Poke(uint16_t address, uint16_t value) override;
    void Advance(SimTime now) override;

    void OnTick(SimTime time, MotorModel& motor) override;
    std::optional<SimTime> ListensUntil() const override;

    // Starts a capture with the current settings, as 32 <- 1 does; for the
    // drive's own tests, which capture as they run. False when the settings
    // do not fit the capacity.
    bool Start();
    bool Running() const { return m_running; }
    uint16_t PointsPerChannel() const { return Points(); }

    // A recording the drive makes itself (the current-loop test): any
    // capture in progress ends, the state reads 0 until Finish puts the
    // points in the area as channel 1 and the state reads complete; Cancel
    // drops them, the state staying 0.
    void BeginDriveRecording(std::vector<int16_t> channel1);
    void FinishDriveRecording();
    void CancelDriveRecording();

private:
    struct Capture {
        std::array<int, 4> bits{};  // source bits of the active channels, in order
        int active = 0;
        uint16_t points = 0;
        SimTime interval{};
        SimTime start{};
        int taken = 0;
    };

    int ActiveAfter(const WriteRequest* request) const;
    uint16_t CodeAfter(int channel, const WriteRequest* request) const;
    uint16_t PointsAfter(const WriteRequest* request) const;
    uint16_t Points() const { return m_options.hasPointsRegister ? m_points : kLegacyPoints; }
    void Take(const std::array<int16_t, kSourceCount>& signals);

    SamplingOptions m_options;
    uint16_t m_interval = 100;
    std::array<uint16_t, 4> m_codes{};
    uint16_t m_points = kLegacyPoints;
    uint16_t m_state = 0;
    std::vector<uint16_t> m_area;
    SimTime m_now{0};
    bool m_running = false;
    Capture m_capture;
    std::vector<int16_t> m_driveRecording;
    MotorModel& m_motor;
};

}  // namespace hx::sim
