#pragma once
// The one rig of the tests on a simulated drive: the drive on its own
// pseudo-terminal with RTU framing, a link of the test's own opened on it,
// and the requests the drive saw, as lists to compare whole.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/link/CQXCOM.h"
#include "core/link/DriveHandle.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

namespace hx::test {

constexpr uint8_t kRead = 3, kWriteSingle = 6, kWriteMultiple = 16;

// A plain register store: no definitions, every register a word.
inline sim::DriveOptions PlainDrive(uint8_t station) {
    sim::DriveOptions o;  // no designated initializers: benchmarks include this without the tests' warning flags
    o.station = station;
    o.databasePath = "-";
    return o;
}

struct PtyDrive {
    // The time-out is long enough for a reply on a loaded machine under the
    // sanitizers; the simulated drive is late only when told to, so a short
    // horizon keeps lost frames cheap.
    // The link runs at the rate the drive paces its replies at, if any.
    explicit PtyDrive(sim::DriveOptions options, uint16_t timeoutMs = 200, uint32_t horizonMs = 150)
        : station(options.station), baud(options.baud ? options.baud : 38400),
          drive(std::make_unique<sim::InProcessDrive>(std::move(options))) {
        comm.ConfigCom(drive->DevicePath(), std::to_string(baud), "8", "NONE", "2");
        comm.SetReceiveTimeOut(timeoutMs);
        comm.SetLateHorizon(horizonMs);
        opened = comm.OpenCom() != 0;
        EXPECT_TRUE(opened) << comm.LastErrorText();
    }
    sim::VirtualDrive& Vd() { return drive->Drive(); }
    sim::DriveServer& Server() { return drive->Server(); }
    DriveHandle& Link(float firmware = 200.0f) {
        handle = DriveHandle(&comm, station, firmware);
        return handle;
    }
    // The requests of one function code (0: all) with at least minCount registers.
    std::vector<sim::VirtualDrive::Request> Requests(uint8_t function = 0, uint16_t minCount = 0) {
        std::vector<sim::VirtualDrive::Request> out;
        for (const auto& r : Vd().Requests())
            if ((function == 0 || r.function == function) && r.count >= minCount) out.push_back(r);
        return out;
    }
    std::vector<uint16_t> Addresses(uint8_t function) { return RequestAddresses(Vd(), function); }
    // Each write, single or multiple, as its address and first value.
    std::vector<std::pair<uint16_t, uint16_t>> Writes() {
        std::vector<std::pair<uint16_t, uint16_t>> out;
        for (const auto& r : Vd().Requests())
            if (r.function == kWriteSingle || r.function == kWriteMultiple) out.emplace_back(r.address, r.value);
        return out;
    }
    // Each block request as its address and count.
    std::vector<std::pair<uint16_t, uint16_t>> Blocks(uint8_t function, uint16_t minCount = 2) {
        std::vector<std::pair<uint16_t, uint16_t>> out;
        for (const auto& r : Requests(function, minCount)) out.emplace_back(r.address, r.count);
        return out;
    }

    uint8_t station;
    int baud;
    std::unique_ptr<sim::InProcessDrive> drive;
    CQXCOM comm;
    DriveHandle handle;
    bool opened = false;
};

// A base to list before PtyDrive: the program folder (and its database, which
// a drive with definitions loads) exists before the drive.
struct ProgramFolderFirst {
    TempProgramFolder folder;
};

// Blocks of `count` from `first`, `size` each but the last: what a block
// read or write of that range asks for.
inline std::vector<std::pair<uint16_t, uint16_t>> BlockList(int first, int count, int size) {
    std::vector<std::pair<uint16_t, uint16_t>> out;
    for (int at = 0; at < count; at += size)
        out.emplace_back(static_cast<uint16_t>(first + at), static_cast<uint16_t>(std::min(size, count - at)));
    return out;
}

}  // namespace hx::test
