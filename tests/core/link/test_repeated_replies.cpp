// A repeater or gateway on the line that sends some replies twice: the copy
// passes every check of the next request of the same shape (station,
// function, length, checksum). A whole-table read that completes holds what
// the drive holds, on a line whose blocks are partly the same words (zeros),
// where a copy and a true answer cannot be told apart by what they say.

#include <gtest/gtest.h>

#include "core/CoreTestUtil.h"
#include "core/params/CParameter.h"
#include "core/params/ReadAllJob.h"
#include "core/protocol/Registers.h"

using namespace hx::coretest;

namespace {

constexpr uint8_t kStation = 9;

// Distinct words, with two runs of blocks of zeros in the upper range: a
// copy of a block of zeros may stand in for the next block of zeros
// harmlessly, but not for the distinct block after them.
uint16_t Truth(int address) {
    if (address < 30000) return static_cast<uint16_t>(address * 3 + 1);
    const int block = (address - 30000) / 50;
    return (block >= 4 && block < 8) || (block >= 20 && block < 24) ? 0 : static_cast<uint16_t>(address - 20000);
}

}  // namespace

TEST(RepeatedReplies, NoCompletedReadHoldsACopysWords) {
    struct Case {
        double rate;
        int maxDelayMs;
        int baud;
    };
    for (const Case c : {Case{0.05, 50, 38400}, Case{0.3, 50, 38400}, Case{0.3, 10, 115200}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " of replies twice, up to " + std::to_string(c.maxDelayMs) + " ms late, " +
                     std::to_string(c.baud) + " baud");
        hx::sim::DriveOptions o = PlainDrive(kStation);
        o.baud = c.baud;
        o.seed = 7;
        PtyDrive link(o, 100, 300);
        ASSERT_TRUE(link.opened) << link.comm.LastErrorText();
        for (int a = 0; a < 150; ++a) link.Vd().SetRam(static_cast<uint16_t>(a), Truth(a));
        for (int a = 30000; a < 32000; ++a) link.Vd().SetRam(static_cast<uint16_t>(a), Truth(a));
        link.Server().DuplicateReplies(c.rate, std::chrono::milliseconds(c.maxDelayMs));

        int completed = 0, wrong = 0;
        for (int dump = 0; dump < 2; ++dump) {
            CParameter table;
            if (hx::ReadAll(link.Link(200.0f), table).status != hx::TransferStatus::Completed) continue;
            ++completed;
            // The settings: the other registers of the range are the drive's own.
            for (int a : {0, 30000})
                for (int k = 0; k < (a ? 2000 : 150); ++k)
                    if (const auto r = static_cast<uint16_t>(a + k); hx::IsSettingRegister(r))
                        wrong += static_cast<uint16_t>(table.Slot(r)) != Truth(r);
        }
        EXPECT_EQ(wrong, 0);
        // The copies went out, and the reads still got through.
        EXPECT_GE(link.Server().GetStats().repliesDuplicated, c.rate > 0.1 ? 10u : 1u);
        EXPECT_GE(completed, 1);
    }
}
