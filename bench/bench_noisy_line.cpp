// Whole-table dumps and loads on a noisy line: the simulated drive drops or
// damages a given fraction of frames (half each), with a fixed seed. Prints
// for each fault rate how many dumps and loads succeeded with exact values,
// how many failed, and how many reported success with wrong values, plus the
// wall time per command on a clean line (the cost of the link's guards).
//
//   bench_noisy_line [DUMPS [LOADS]]     defaults: 100 dumps, 20 loads

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchGoals.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/writes/WriteAllJob.h"
#include "core/protocol/Registers.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr uint8_t kStation = 63;
constexpr float kFirmware = 200.0f;
constexpr uint16_t kTimeoutMs = 20;

int g_wrong = 0;  // the goal is none

struct Tally {
    int ok = 0, failed = 0, wrong = 0;
};

// The settings: what a whole-table write may carry and a load is checked
// on. The sampling registers take only what the drive's sampling engine can
// carry out, so made-up values stay out of them.
bool Setting(uint16_t a) {
    using namespace hx::reg;
    for (uint16_t s : {kSampleInterval, kSamplePoints, kSampleChannelCode[0], kSampleChannelCode[1],
                       kSampleChannelCode[2], kSampleChannelCode[3]})
        if (a == s) return false;
    return hx::IsSettingRegister(a);
}

std::vector<uint16_t> Addresses() {
    std::vector<uint16_t> all;
    for (int i = 0; i < CParameter::kSlots; ++i) all.push_back(CParameter::IndexToAddress(static_cast<uint16_t>(i)));
    return all;
}

// A dump as `params dump` does it: register 0, the identity, every block.
bool Dump(CQXCOM& comm, hx::sim::VirtualDrive& vd, bool* wrong) {
    *wrong = false;
    if (!hx::DriveAnswers(comm, kStation)) return false;
    const hx::DriveIdentity id = hx::ReadDriveIdentity(comm, kStation);
    if (!id.complete) return false;
    CParameter table;
    if (hx::ReadAll(hx::DriveHandle(&comm, kStation, id.firmwareVersion), table).status != hx::TransferStatus::Completed) return false;
    for (uint16_t a : Addresses())
        if (Setting(a) && static_cast<uint16_t>(table.Slot(a)) != vd.Ram(a)) *wrong = true;
    return !*wrong;
}

// A load as `params load` does it: read, change, write, read back, compare.
bool Load(CQXCOM& comm, hx::sim::VirtualDrive& vd, int salt, bool* wrong) {
    *wrong = false;
    CParameter table;
    const hx::DriveHandle handle(&comm, kStation, kFirmware);
    if (hx::ReadAll(handle, table).status != hx::TransferStatus::Completed) return false;
    for (uint16_t a : Addresses())
        if (Setting(a)) table.SetValue(a, static_cast<int16_t>(a * 13 + salt));
    if (hx::WriteAll(handle, table).status != hx::TransferStatus::Completed) return false;
    CParameter back;
    if (hx::ReadAll(hx::DriveHandle(&comm, kStation, kFirmware), back).status != hx::TransferStatus::Completed) return false;
    bool same = true;
    for (uint16_t a : Addresses()) {
        if (!Setting(a)) continue;
        if ((back.Slot(a) & 0xFFFF) != (table.Slot(a) & 0xFFFF)) same = false;
        // What the drive really holds, whatever the program was told.
        if (vd.Ram(a) != static_cast<uint16_t>(table.Slot(a))) *wrong = true;
    }
    return same && !*wrong;
}

void Run(double rate, int dumps, int loads) {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    o.dropRate = rate / 2;
    o.corruptRate = rate / 2;
    o.seed = 12345;
    hx::sim::InProcessDrive drive(o);
    for (uint16_t a : Addresses())
        if (Setting(a)) drive.Drive().SetRam(a, static_cast<uint16_t>(a * 7 + 1));
    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), "115200", "8", "NONE", "2");
    comm.SetReceiveTimeOut(kTimeoutMs);
    if (!comm.OpenCom()) {
        std::fprintf(stderr, "cannot open %s\n", drive.DevicePath().c_str());
        std::exit(1);
    }
    Tally d, l;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < dumps; ++i) {
        bool wrong = false;
        if (Dump(comm, drive.Drive(), &wrong))
            ++d.ok;
        else
            ++(wrong ? d.wrong : d.failed);
    }
    for (int i = 0; i < loads; ++i) {
        bool wrong = false;
        if (Load(comm, drive.Drive(), i, &wrong))
            ++l.ok;
        else
            ++(wrong ? l.wrong : l.failed);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto stats = drive.Server().GetStats();
    g_wrong += d.wrong + l.wrong;
    std::printf("faults %4.1f %%: dumps %3d/%d ok (%5.1f %%), %d failed, %d wrong | loads %3d/%d ok (%5.1f %%), %d failed, "
                "%d wrong | %llu dropped, %llu damaged, %.1f s\n",
                rate * 100, d.ok, dumps, 100.0 * d.ok / std::max(1, dumps), d.failed, d.wrong, l.ok, loads,
                100.0 * l.ok / std::max(1, loads), l.failed, l.wrong,
                static_cast<unsigned long long>(stats.repliesDropped),
                static_cast<unsigned long long>(stats.repliesCorrupted), seconds);
    std::fflush(stdout);
}

// Per-command cost on a clean, unpaced line: single reads, one after another.
void CleanCost() {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    hx::sim::InProcessDrive drive(o);
    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
    comm.SetReceiveTimeOut(100);
    const auto openStart = std::chrono::steady_clock::now();
    if (!comm.OpenCom()) std::exit(1);
    const double openMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - openStart).count();
    constexpr int kReads = 500;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) comm.ReadAddressValue(kStation, static_cast<uint16_t>(i % 150));
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // One failed read and the next request: the wait for a late reply.
    drive.Server().LoseReplies(1.0);
    const auto failStart = std::chrono::steady_clock::now();
    comm.ReadAddressValue(kStation, 1);
    drive.Server().ClearFaults();
    comm.ReadAddressValue(kStation, 2);
    const double failMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - failStart).count();
    const auto closeStart = std::chrono::steady_clock::now();
    comm.CloseCom();
    const double closeMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - closeStart).count();
    std::printf("clean line, 38400 setting, unpaced pty, time-out 100 ms: %.3f ms per single read (%d reads), "
                "open %.1f ms, close %.1f ms, one unanswered read and the next read %.1f ms\n",
                ms / kReads, kReads, openMs, closeMs, failMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int dumps = argc > 1 ? std::atoi(argv[1]) : 100;
    const int loads = argc > 2 ? std::atoi(argv[2]) : 20;
    CleanCost();
    for (double rate : {0.01, 0.05}) Run(rate, dumps, loads);
    // The link never reports success with values the drive does not hold.
    bench::Goals goals;
    goals.AtMost("dumps and loads that succeeded with wrong values", g_wrong, 0);
    return goals.Status();
}
