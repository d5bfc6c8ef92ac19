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

TEST_F(Ranges, SingleWritesOfEachTypeAreCheckedAgainstTheirRange) {
    // SHORT 0~100
    EXPECT_EQ(d.WriteRegister(3, 100), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(3, 101), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(3), 100);
    // SHORT 100~8000: a word of 0x8000 is -32768, not 32768.
    EXPECT_EQ(d.WriteRegister(0, 99), mbex::kIllegalValue);
    EXPECT_EQ(d.WriteRegister(0, 0x8000), mbex::kIllegalValue);
    EXPECT_EQ(d.WriteRegister(0, 8000), mbex::kNone);
    // SHORT -1~1: -1 travels as 0xFFFF.
    EXPECT_EQ(d.WriteRegister(61, 0xFFFF), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(61, 2), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(61), 0xFFFF);
    // USHORT 200~51200: above 32767 is a positive value.
    EXPECT_EQ(d.WriteRegister(1, 51200), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(1, 51201), mbex::kIllegalValue);
    EXPECT_EQ(d.WriteRegister(1, 199), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(1), 51200);
    // A register without a definition takes any value.
    EXPECT_EQ(d.WriteRegister(48, 0xFFFF), mbex::kNone);
}

TEST_F(Ranges, A32BitParameterIsCheckedWhenItsLowWordArrives) {
    // 30029: INT -2147483647~2147483647, high word at 30028.
    const uint16_t lowest[2] = {0x8000, 0x0001};
    EXPECT_EQ(d.WriteRegisters(30028, lowest, 2), mbex::kNone);
    const uint16_t below[2] = {0x8000, 0x0000};  // -2147483648
    EXPECT_EQ(d.WriteRegisters(30028, below, 2), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(30029), 1);

    // 30324: INT 1~1073741824. The program writes the high word first, alone.
    EXPECT_EQ(d.WriteRegister(30323, 0x4000), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(30324, 1), mbex::kIllegalValue);  // 1073741825
    EXPECT_EQ(d.WriteRegister(30324, 0), mbex::kNone);           // 1073741824
    EXPECT_EQ(d.WriteRegister(30323, 0), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(30324, 0), mbex::kIllegalValue);  // 0
    EXPECT_EQ(d.ReadRegister(30324), 0);
    EXPECT_EQ(d.WriteRegister(30324, 5), mbex::kNone);
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
