// The parameter store's ranges: a write outside a defined parameter's range
// is refused with exception 3, as a real drive refuses it.

#include <gtest/gtest.h>

#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

using hx::sim::DriveOptions;
using hx::sim::VirtualDrive;
namespace mbex = hx::sim::mbex;

namespace {

class Ranges : public ::testing::Test {
protected:
    hx::test::TempProgramFolder folder;  // the drive reads the program's database
    VirtualDrive d{DriveOptions{}};
};

}  // namespace

// Single writes in turn, each with the drive's answer, then what each
// register holds.
TEST_F(Ranges, SingleWritesOfEachTypeAreCheckedAgainstTheirRange) {
    constexpr uint8_t ok = mbex::kNone, no = mbex::kIllegalValue;
    struct Write {
        uint16_t address, word;
        uint8_t outcome;
    };
    // SHORT 0~100 at 3; SHORT 100~8000 at 0, where a word of 0x8000 is
    // -32768, not 32768; SHORT -1~1 at 61, -1 travelling as 0xFFFF; USHORT
    // 200~51200 at 1, above 32767 a positive value; 48 without a definition
    // takes any value. 30029 is an INT of the whole range with its high word
    // at 30028; 30324 an INT of 1~1073741824 whose high word the program
    // writes first, alone: checked when its low word arrives.
    for (const Write& w : {Write{3, 100, ok}, {3, 101, no}, {0, 99, no}, {0, 0x8000, no}, {0, 8000, ok}, {61, 0xFFFF, ok},
                           {61, 2, no}, {1, 51200, ok}, {1, 51201, no}, {1, 199, no}, {48, 0xFFFF, ok},
                           {30323, 0x4000, ok}, {30324, 1, no}, {30324, 0, ok}, {30323, 0, ok}, {30324, 0, no}})
        EXPECT_EQ(d.WriteRegister(w.address, w.word), w.outcome) << w.address << "=" << w.word;
    for (auto [address, word] : {std::pair<uint16_t, uint16_t>{3, 100}, {61, 0xFFFF}, {1, 51200}, {30324, 0}})
        EXPECT_EQ(d.ReadRegister(address), word) << address;
    EXPECT_EQ(d.WriteRegister(30324, 5), mbex::kNone);

    const uint16_t lowest[2] = {0x8000, 0x0001};
    EXPECT_EQ(d.WriteRegisters(30028, lowest, 2), mbex::kNone);
    const uint16_t below[2] = {0x8000, 0x0000};  // -2147483648
    EXPECT_EQ(d.WriteRegisters(30028, below, 2), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(30029), 1);
}

TEST_F(Ranges, ABlockWithOneValueOutOfRangeIsRefusedWhole) {
    uint16_t block[10];
    ASSERT_EQ(d.ReadRegisters(0, 10, block), mbex::kNone);
    uint16_t changed[10];
    std::copy(block, block + 10, changed);
    changed[2] = 9999;  // register 2, 0~10000: fine
    changed[3] = 101;   // register 3, 0~100: not
    EXPECT_EQ(d.WriteRegisters(0, changed, 10), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(2), block[2]);
}

TEST_F(Ranges, TheWholeTableAsReadIsAcceptedBack) {
    // The factory values lie within their ranges, so a whole-table write of
    // what the drive holds never trips the check.
    for (const auto& [first, last] : {std::pair{0, 149}, std::pair{30000, 31999}}) {
        for (int a = first; a <= last; a += 100) {
            const int n = std::min(100, last - a + 1);
            uint16_t words[100];
            ASSERT_EQ(d.ReadRegisters(static_cast<uint16_t>(a), static_cast<uint16_t>(n), words), mbex::kNone);
            EXPECT_EQ(d.WriteRegisters(static_cast<uint16_t>(a), words, static_cast<uint16_t>(n)), mbex::kNone) << a;
        }
    }
}
