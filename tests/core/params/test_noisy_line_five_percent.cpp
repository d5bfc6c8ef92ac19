// Whole-table dumps and loads on a line where one frame in twenty is dropped
// or damaged (the simulated drive's fault injection with a fixed seed, over
// a real pseudo-terminal): at least 95 % succeed, and none reports success
// with values the drive does not hold.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveLoad.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/protocol/Registers.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr uint8_t kStation = 63;
constexpr float kFirmware = 200.0f;

bool IsSampling(uint16_t a) {
    using namespace hx::reg;
    for (uint16_t s : {kSampleInterval, kSamplePoints, kSampleChannelCode[0], kSampleChannelCode[1],
                       kSampleChannelCode[2], kSampleChannelCode[3]})
        if (a == s) return true;
    return false;
}

std::vector<uint16_t> Settings() {
    std::vector<uint16_t> all;
    for (int i = 0; i < CParameter::kSlots; ++i) {
        const uint16_t a = CParameter::IndexToAddress(static_cast<uint16_t>(i));
        // The sampling registers take only what the drive's sampling engine
        // can carry out; made-up values stay out of them.
        if (!hx::IsSettingRegister(a) || IsSampling(a)) continue;
        all.push_back(a);
    }
    return all;
}

struct NoisyLine {
    explicit NoisyLine(double faultRate) {
        hx::sim::DriveOptions o;
        o.station = kStation;
        o.databasePath = "-";
        o.dropRate = faultRate / 2;
        o.corruptRate = faultRate / 2;
        o.seed = 20261206;
        drive = std::make_unique<hx::sim::InProcessDrive>(o);
        for (uint16_t a : Settings()) drive->Drive().SetRam(a, static_cast<uint16_t>(a * 7 + 1));
        comm.ConfigCom(drive->DevicePath(), "230400", "8", "NONE", "2");
        // Long enough that a busy test machine rarely adds time-outs of its own.
        comm.SetReceiveTimeOut(50);
        opened = comm.OpenCom() != 0;
    }

    // As `params dump`: register 0, the identity, every block; exact values.
    bool Dump() {
        if (!hx::DriveAnswers(comm, kStation)) return false;
        const hx::DriveIdentity id = hx::ReadDriveIdentity(comm, kStation);
        if (!id.complete) return false;
        CParameter table;
        if (hx::ReadAll({&comm, &table, kStation, id.firmwareVersion}).status != hx::TransferStatus::Completed)
            return false;
        for (uint16_t a : Settings())
            if (static_cast<uint16_t>(table.Slot(a)) != drive->Drive().Ram(a)) {
                ++wrong;
                return false;
            }
        return true;
    }

    // As `params load`: a file's values into the drive, read back; the drive
    // must hold them exactly.
    bool Load(int salt) {
        hx::ParameterFileContents file;
        for (uint16_t a : Settings()) file.values.emplace_back(a, static_cast<int16_t>(a * 13 + salt));
        CParameter table;
        const hx::DriveLoadReport report = hx::WriteFileToDrive({&comm, &table, kStation, kFirmware}, file);
        if (!report.Succeeded()) return false;
        for (const auto& [a, v] : file.values)
            if (drive->Drive().Ram(a) != static_cast<uint16_t>(v)) {
                ++wrong;
                return false;
            }
        return true;
    }

    std::unique_ptr<hx::sim::InProcessDrive> drive;
    CQXCOM comm;
    bool opened = false;
    int wrong = 0;
};

}  // namespace

TEST(NoisyLine, AtFivePercentAtLeastNinetyFivePercentSucceedAndNoneLies) {
    NoisyLine line(0.05);
    ASSERT_TRUE(line.opened) << line.comm.LastErrorText();
    int ok = 0;
    constexpr int kDumps = 36, kLoads = 4;
    for (int i = 0; i < kDumps; ++i) ok += line.Dump();
    for (int i = 0; i < kLoads; ++i) ok += line.Load(i);
    EXPECT_GE(ok * 100, 95 * (kDumps + kLoads)) << ok << " of " << kDumps + kLoads;
    EXPECT_EQ(line.wrong, 0);
}

