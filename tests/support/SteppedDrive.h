#pragma once
// The drive rig on a clock the test steps: each wait of the tool steps the
// drive's clock by its length instead of sleeping, so the waits are exact and
// take no real time however loaded the machine.

#include <chrono>
#include <functional>
#include <stop_token>

#include "sim/bus/SimClock.h"
#include "support/PtyDrive.h"

namespace hx::test {

// The clock exists before the drive that runs on it.
struct ClockFirst {
    std::shared_ptr<sim::SteppedClock> clock = std::make_shared<sim::SteppedClock>();
};

struct SteppedDrive : ProgramFolderFirst, ClockFirst, PtyDrive {
    explicit SteppedDrive(sim::DriveOptions o, uint16_t timeoutMs = 200, uint32_t horizonMs = 150)
        : PtyDrive((o.clock = clock, std::move(o)), timeoutMs, horizonMs) {}
    // The time passes for the tool and the drive alike.
    void Pass(std::chrono::milliseconds d) {
        now += d;
        waited += d;
        clock->Step(d);
        if (onWait) onWait(++waits);
        else ++waits;
    }
    // A wait of the tool's that passes its time; false once a stop is asked.
    std::function<bool(std::stop_token, std::chrono::milliseconds)> Stepper() {
        return [this](std::stop_token stop, std::chrono::milliseconds d) {
            Pass(d);
            return !stop.stop_requested();
        };
    }

    std::chrono::steady_clock::time_point now{};
    std::chrono::milliseconds waited{0};
    int waits = 0;
    std::function<void(int)> onWait;  // after each wait, with the count so far
};

}  // namespace hx::test
