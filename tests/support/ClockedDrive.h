#pragma once
// The simulated drive used directly, without a wire, on a clock the test
// steps: its motor and engines run exactly as far as the test says.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "sim/VirtualDrive.h"
#include "sim/bus/SimClock.h"

namespace hx::test {

// `count` words from `first` as signed samples, read in blocks as a client would.
inline std::vector<int16_t> AreaWords(sim::VirtualDrive& d, uint16_t first, int count) {
    std::vector<uint16_t> raw(static_cast<size_t>(count));
    for (int at = 0; at < count; at += 100)
        EXPECT_EQ(d.ReadRegisters(static_cast<uint16_t>(first + at), static_cast<uint16_t>(std::min(100, count - at)),
                                  raw.data() + at),
                  sim::mbex::kNone);
    return {raw.begin(), raw.end()};
}

struct ClockedDrive {
    explicit ClockedDrive(sim::DriveOptions o) : clock(std::make_shared<sim::SteppedClock>()) {
        o.clock = clock;
        drive = std::make_unique<sim::VirtualDrive>(std::move(o));
    }
    uint8_t W(uint16_t a, uint16_t v) { return drive->WriteRegister(a, v); }
    uint16_t R(uint16_t a) { return drive->ReadRegister(a); }

    std::shared_ptr<sim::SteppedClock> clock;
    std::unique_ptr<sim::VirtualDrive> drive;
};

}  // namespace hx::test
