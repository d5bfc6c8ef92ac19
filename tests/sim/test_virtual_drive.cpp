// The register map of the simulated drive, used directly (no wire), and its
// parameter store's ranges: a write outside a defined parameter's range is
// refused with exception 3, as a real drive refuses it.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/params/AttributeBlocks.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "sim/VirtualDrive.h"
#include "support/ClockedDrive.h"
#include "support/PtyDrive.h"

using namespace std::chrono_literals;
using hx::sim::DriveOptions;
using hx::sim::VirtualDrive;
namespace mbex = hx::sim::mbex;

TEST(VirtualDrive, FactoryValuesTypesAndVisibilityFromTheDatabase) {
    hx::test::TempProgramFolder folder;
    DriveOptions o;  // default database: the program's DATA.sqlite
    VirtualDrive drive(o);
    const auto defs = hx::LoadDefinitions(folder.DatabasePath(), "KRV4");
    ASSERT_FALSE(defs.empty());

    // An INT default splits into its high word (address - 1) and low word.
    EXPECT_EQ(drive.ReadRegister(30028), 1);
    EXPECT_EQ(drive.ReadRegister(30029), 0x86A0);  // 100000
    EXPECT_EQ(drive.ReadRegister(0), 4200);
    EXPECT_EQ(drive.Factory(30029), 0x86A0);
    EXPECT_EQ(drive.Nv(30029), 0x86A0);
    // The station alias on the front-panel switch.
    EXPECT_EQ(drive.ReadRegister(4), 4);
    for (const auto& d : defs) {
        if (d.dataType == "INT") continue;
        const long v = std::stol(d.defaultValue);
        EXPECT_EQ(drive.ReadRegister(d.address), static_cast<uint16_t>(v)) << d.address;
    }

    // A model without a definition table is a database error, not a drive.
    DriveOptions missing;
    missing.driveModel = "NOPE'; DROP TABLE x;--";
    EXPECT_THROW(VirtualDrive bad(missing), std::exception);
}

// The identity the drive was given, as the program reads it: the link's
// identity test.
TEST(VirtualDrive, ReadOnlyRegisters) {
    VirtualDrive d({.firmwareRegister = 150, .databasePath = "-"});
    // Writing back what was read is accepted; a change is refused.
    EXPECT_EQ(d.WriteRegister(138, 150), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(138, 200), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(138), 150);
    const uint16_t attr = d.ReadRegister(100);
    EXPECT_EQ(d.WriteRegister(100, attr), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(100, static_cast<uint16_t>(~attr)), mbex::kIllegalValue);
    // A block write keeps read-only registers and takes the others.
    const uint16_t identity = d.ReadRegister(116);
    uint16_t mixed[2] = {5, 'K' << 8 | 'L'};  // 115 a parameter, 116 identity
    EXPECT_EQ(d.WriteRegisters(115, mixed, 2), mbex::kNone);
    EXPECT_EQ(d.ReadRegister(115), 5);
    EXPECT_EQ(d.ReadRegister(116), identity);
    // Unmapped addresses, also when a block only touches one. (That a refused
    // block changes nothing: the register bus's test.)
    uint16_t out[20];
    // The last one reaches past the end.
    for (auto [first, count] : {std::pair{8150, 1}, {8140, 20}, {29999, 2}, {63099, 2}, {0xFFFF, 2}})
        EXPECT_EQ(d.ReadRegisters(static_cast<uint16_t>(first), static_cast<uint16_t>(count), out), mbex::kIllegalAddress)
            << first;
    EXPECT_EQ(d.ReadRegisters(140, 20, out), mbex::kNone);  // 140..159: parameters and capture area
    EXPECT_EQ(d.WriteRegister(8151, 1), mbex::kIllegalAddress);
    EXPECT_THROW(d.ReadRegister(32000), std::out_of_range);

    // The capture area is a plain store outside the parameter sets.
    EXPECT_EQ(d.WriteRegister(155, 4321), mbex::kNone);
    EXPECT_EQ(d.ReadRegister(155), 4321);

    // Where the capture area reaches over the burn command (410), a block
    // read reads the capture and a single read the command.
    d.Poke(410, 0);
    uint16_t block[3];
    ASSERT_EQ(d.ReadRegisters(409, 3, block), mbex::kNone);
    EXPECT_EQ(d.ReadRegister(410), 0);
    EXPECT_EQ(d.WriteRegister(410, 0x3A9C), mbex::kNone);
    EXPECT_EQ(d.ReadRegister(410), 0x3A9C);
    uint16_t again[3];
    ASSERT_EQ(d.ReadRegisters(409, 3, again), mbex::kNone);
    EXPECT_EQ(again[1], block[1]) << "the command does not show in the capture";
}

// The attribute registers, read and decoded as the program reads them, show
// each definition's visibility.
TEST(VirtualDrive, AttributeBlocksDecodeToTheDefinitionsVisibility) {
    struct : hx::test::ProgramFolderFirst, hx::test::PtyDrive {
        using PtyDrive::PtyDrive;
    } d(DriveOptions{});
    const auto defs = hx::LoadDefinitions(d.folder.DatabasePath(), "KRV4");
    CParameter table;
    ASSERT_TRUE(hx::ReadAttributeBlocks(d.Link(), table).loaded);
    std::vector<int> expected(32000, 0);
    for (const auto& def : defs) expected[def.address] = def.visible ? 1 : 0;
    // A drive that tunes its current loop shows its switch, which has no
    // row among the model's parameters.
    expected[13] = 1;
    for (int a = 0; a <= 149; ++a) EXPECT_EQ(table.TestAttribute(static_cast<uint16_t>(a)), expected[a]) << a;
    for (int a = 30000; a < 31600; ++a) EXPECT_EQ(table.TestAttribute(static_cast<uint16_t>(a)), expected[a]) << a;
    EXPECT_GT(std::count(expected.begin(), expected.end(), 1), 100);
    EXPECT_EQ(expected[30515], 0);

    // Changing a visibility moves its bit.
    d.Vd().SetVisible(30515, true);
    ASSERT_TRUE(hx::ReadAttributeBlocks(d.Link(), table).loaded);
    EXPECT_EQ(table.TestAttribute(30515), 1);
}

// Storage commands on a stepped clock: each runs for exactly its run time,
// and the drive needs no thread of its own.
TEST(VirtualDrive, StorageCommandsSaveRestoreAndBurn) {
    hx::test::TempProgramFolder folder;
    const DriveOptions o{.databasePath = "-", .stateFile = folder.File("state.txt"), .commandDelayMs = 300};
    using Words = std::vector<uint16_t>;
    {
        hx::test::ClockedDrive c(o);
        VirtualDrive& d = *c.drive;
        d.SetFactory(5, 11);  // the factory set of a drive without a database
        // Other values on a command register are accepted and do nothing.
        for (auto [a, v] : {std::pair{5, 500}, {30001, 0xBEEF}, {90, 0}, {90, 7}, {410, 1}})
            EXPECT_EQ(c.W(static_cast<uint16_t>(a), static_cast<uint16_t>(v)), mbex::kNone) << a;
        EXPECT_EQ((Words{c.R(90), c.R(410), d.Nv(5)}), (Words{0, 0, 0}));

        // Save: busy while it runs, a 0 does not cancel it, effect when it clears.
        EXPECT_EQ(c.W(90, 1), mbex::kNone);
        c.clock->Step(299ms);
        EXPECT_EQ(c.W(90, 0), mbex::kNone);
        EXPECT_EQ((Words{c.R(90), d.Nv(5)}), (Words{1, 0}));
        c.clock->Step(1ms);
        EXPECT_EQ((Words{c.R(90), d.Nv(5)}), (Words{0, 500}));
        EXPECT_EQ(d.CommandsCompleted(90), 1);
        EXPECT_TRUE(std::filesystem::exists(o.stateFile));

        // Burn makes the current values the factory set; restore brings them back.
        c.W(6, 66);
        EXPECT_EQ(c.W(410, 0x3A9C), mbex::kNone);
        EXPECT_EQ(c.R(410), 0x3A9C);
        c.clock->Step(300ms);
        EXPECT_EQ(c.R(410), 0);
        EXPECT_EQ((Words{d.Factory(5), d.Factory(6)}), (Words{500, 66}));
        c.W(6, 67);
        c.W(5, 1);
        EXPECT_EQ(c.W(91, 1), mbex::kNone);
        c.clock->Step(300ms);
        EXPECT_EQ((Words{c.R(91), c.R(5), c.R(6), d.Nv(6)}), (Words{0, 500, 66, 66}));

        // A stuck command never clears nor acts; released, it completes.
        d.SetStuck(90, true);
        c.W(3, 33);
        EXPECT_EQ(c.W(90, 1), mbex::kNone);
        c.clock->Step(3s);
        EXPECT_EQ((Words{c.R(90), d.Nv(3)}), (Words{1, 0}));
        d.SetStuck(90, false);
        c.clock->Step(300ms);
        EXPECT_EQ((Words{c.R(90), d.Nv(3)}), (Words{0, 33}));

        // A poked command register reads the value but does nothing.
        d.Poke(91, 1);
        c.W(3, 44);
        c.clock->Step(1s);
        EXPECT_EQ((Words{c.R(91), c.R(3)}), (Words{1, 44}));
        d.Poke(91, 0);
        EXPECT_FALSE(d.CommandBusy(91));
        c.W(3, 45);  // RAM only: lost at power-off
    }
    // Restarted: RAM and the factory set come from the state file.
    VirtualDrive d(o);
    EXPECT_EQ((Words{d.ReadRegister(3), d.ReadRegister(30001), d.Factory(6)}), (Words{33, 0xBEEF, 66}));
    // A damaged state file is reported, not taken for an empty memory.
    hx::test::WriteFileBytes(o.stateFile, "halvex-drive-state 1\nnv 5 seventy\n");
    EXPECT_THROW(VirtualDrive bad(o), std::runtime_error);
}

// Single writes in turn, each with the drive's answer, then what each
// register holds; a block with one value out of range is refused whole. (The
// whole table as read is accepted back: the command line's many-drives
// backup and restore.)
TEST(VirtualDrive, WritesAreCheckedAgainstTheirRanges) {
    hx::test::TempProgramFolder folder;  // the drive reads the program's database
    VirtualDrive d{DriveOptions{}};
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

    uint16_t block[10];
    ASSERT_EQ(d.ReadRegisters(0, 10, block), mbex::kNone);
    uint16_t changed[10];
    std::copy(block, block + 10, changed);
    changed[2] = 9999;  // register 2, 0~10000: fine
    changed[3] = 101;   // register 3, 0~100: not
    EXPECT_EQ(d.WriteRegisters(0, changed, 10), mbex::kIllegalValue);
    EXPECT_EQ(d.ReadRegister(2), block[2]);
}
