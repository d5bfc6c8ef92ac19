// Whole-table dumps and loads on a line that drops or damages frames (the
// simulated drive's fault injection with a fixed seed, over a real
// pseudo-terminal). Reads are sent again, lost writes are checked and only
// what the drive lacks is sent again: every dump and load succeeds with
// exact values, and a load that fails says what the drive holds.

#include <atomic>

#include "support/PtyDrive.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/writes/DriveLoad.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/protocol/Registers.h"

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

hx::sim::DriveOptions Faulty(double faultRate) {
    hx::sim::DriveOptions o = hx::test::PlainDrive(kStation);
    o.dropRate = faultRate / 2;
    o.corruptRate = faultRate / 2;
    o.seed = 20261206;
    return o;
}

// Long enough that a busy test machine rarely adds time-outs of its own.
struct NoisyLine : hx::test::PtyDrive {
    explicit NoisyLine(double faultRate) : PtyDrive(Faulty(faultRate), 50, 60) {
        for (uint16_t a : Settings()) Vd().SetRam(a, static_cast<uint16_t>(a * 7 + 1));
    }

    // As `params dump`: register 0, the identity, every block; exact values.
    bool Dump() {
        if (!hx::DriveAnswers(comm, kStation)) return false;
        const hx::DriveIdentity id = hx::ReadDriveIdentity(comm, kStation);
        if (!id.complete) return false;
        CParameter table;
        if (hx::ReadAll(hx::DriveHandle(&comm, kStation, id.firmwareVersion), table).status != hx::TransferStatus::Completed)
            return false;
        for (uint16_t a : Settings())
            if (static_cast<uint16_t>(table.Slot(a)) != Vd().Ram(a)) {
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
        const hx::DriveLoadReport report = hx::WriteFileToDrive(hx::DriveHandle(&comm, kStation, kFirmware), table, file);
        if (!report.Succeeded()) return false;
        for (const auto& [a, v] : file.values)
            if (Vd().Ram(a) != static_cast<uint16_t>(v)) {
                ++wrong;
                return false;
            }
        return true;
    }

    int wrong = 0;
};

}  // namespace

// One frame in a hundred dropped or damaged: every dump and load succeeds
// with exact values. One in twenty: at least 95 % do, and none reports
// success with values the drive does not hold. A few hundred blocks each
// are enough for the faults to hit reads and writes alike.
TEST(NoisyLine, AtOnePercentEveryDumpAndLoadSucceedsExactly) {
    NoisyLine line(0.01);
    int dumps = 0, loads = 0;
    for (int i = 0; i < 24; ++i) dumps += line.Dump();
    for (int i = 0; i < 6; ++i) loads += line.Load(i);
    EXPECT_EQ(dumps, 24);
    EXPECT_EQ(loads, 6);
    EXPECT_EQ(line.wrong, 0);
    // The faults did happen, and the link counted its retries.
    const auto stats = line.Server().GetStats();
    EXPECT_GT(stats.repliesDropped + stats.repliesCorrupted, 6u);
    const CQXCOM::Health health = line.comm.GetHealth();
    EXPECT_GT(health.retries, 6u);
    EXPECT_GT(health.unanswered, 0u);
    EXPECT_GT(health.damaged, 0u);
    EXPECT_TRUE(health.answering);
}

TEST(NoisyLine, AtFivePercentAtLeastNinetyFivePercentSucceedAndNoneLies) {
    NoisyLine line(0.05);
    int ok = 0;
    constexpr int kDumps = 16, kLoads = 4;
    for (int i = 0; i < kDumps; ++i) ok += line.Dump();
    for (int i = 0; i < kLoads; ++i) ok += line.Load(i);
    EXPECT_GE(ok * 100, 95 * (kDumps + kLoads)) << ok << " of " << kDumps + kLoads;
    EXPECT_EQ(line.wrong, 0);
}

TEST(NoisyLine, ALoadThatFailsSaysHowManyBlocksTheDriveHolds) {
    NoisyLine line(0.0);
    hx::ParameterFileContents file;
    for (uint16_t a : Settings()) file.values.emplace_back(a, static_cast<int16_t>(a + 3));
    CParameter table;
    const auto plan = hx::WriteAllPlan(kFirmware);
    // The line goes dead at the 61st write block (after the 43 reads) for as
    // long as the write and its read-backs are tried, then comes back for
    // the read that counts what the drive holds.
    std::atomic<bool> done{false};
    std::thread breaker([&] {
        auto& server = line.Server();
        while (!done && server.GetStats().framesReceived < 43 + 60) std::this_thread::yield();
        server.LoseReplies(1.0);
        while (!done && server.GetStats().repliesDropped < 1 + 1 + CQXCOM::kReadRetries) std::this_thread::yield();
        server.ClearFaults();
    });
    const hx::DriveLoadReport report = hx::WriteFileToDrive(hx::DriveHandle(&line.comm, kStation, kFirmware), table, file);
    done = true;
    breaker.join();
    EXPECT_EQ(report.stoppedAt, hx::DriveLoadReport::Step::Write);
    EXPECT_NE(report.failure.linkText.find("no answer"), std::string::npos) << report.failure.linkText;
    EXPECT_NE(report.failure.linkText.find("may have been carried out"), std::string::npos);
    EXPECT_EQ(report.blocksTotal, static_cast<int>(plan.size()));

    int holding = 0;
    for (const auto& block : plan) {
        bool same = true;
        for (int k = 0; k < block.count; ++k) {
            const auto a = static_cast<uint16_t>(block.address + k);
            // What was sent: the file's value, or the drive's own where the file has none.
            same = same && line.Vd().Ram(a) == static_cast<uint16_t>(table.Slot(a));
        }
        holding += same;
    }
    EXPECT_EQ(report.blocksHolding, holding);
    EXPECT_GT(holding, 50);
    EXPECT_LT(holding, 70);
}
