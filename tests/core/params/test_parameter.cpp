// The shared parameter table: address mapping, word conversions, the type
// rules and the attribute bitmap.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/params/CParameter.h"

// Slot for slot, the address mapping is the whole-table read's test (every
// slot against the drive's register). A word shown by its type (65534 unsigned, -2 signed) is the command line's
// dump and the parameter files' test; here the 32-bit pair, words across the
// ranges and the types forgotten.
TEST(CParameter, WordsAndTypeRules) {
    CParameter t;
    const uint16_t fffe[] = {0xFFFE};
    t.RegisterType(5, "USHORT");
    // The INT pair of address 31: the high word sits at 30.
    t.RegisterType(31, "INT");
    const uint16_t pair[] = {0x0001, 0x86A0};
    t.LoadWords(30, pair, 2);
    EXPECT_EQ(t.Slot(31), -31072);
    EXPECT_EQ(t.GetValue(31), 100000);
    CParameter u;
    u.RegisterType(31, "INT");
    u.SetValue(31, 100000);
    EXPECT_EQ(u.Slot(30), 1);
    EXPECT_EQ(u.GetValue(31), 100000);
    std::array<uint16_t, 2> words{};
    u.StoreWords(30, words.data(), 2);
    EXPECT_EQ(words, (std::array<uint16_t, 2>{0x0001, 0x86A0}));
    // A negative 32-bit value keeps its value through the table.
    for (int32_t v : {-1, -100000, -2147483647, 2147483647, 65535, 65536}) {
        u.SetValue(31, v);
        EXPECT_EQ(u.GetValue(31), v) << v;
        u.StoreWords(30, words.data(), 2);
        CParameter back;
        back.RegisterType(31, "INT");
        back.LoadWords(30, words.data(), 2);
        EXPECT_EQ(back.GetValue(31), v) << v;
    }

    // Words run on across the two ranges by table index; nothing is written past the last slot.
    const std::vector<uint16_t> block = {0x0102, 0x0304, 0x0506, 0x0708};
    t.LoadWords(148, block.data(), 4);
    EXPECT_EQ(t.Slot(149), 0x0304);
    EXPECT_EQ(t.Slot(30000), 0x0506);
    t.LoadWords(31998, block.data(), 4);
    EXPECT_EQ(t.Slot(31999), 0x0304);
    t.LoadWords(200, block.data(), 1);  // no slot: ignored
    EXPECT_EQ(t.GetValue(200), 0);
    for (uint16_t a : {150, 159, 29999, 32000, 63000, 65535}) EXPECT_FALSE(CParameter::IsParameterAddress(a)) << a;

    // Until types are registered everything is SHORT; ClearTypes forgets them.
    t.ClearTypes();
    EXPECT_FALSE(t.IsInt(31));
    EXPECT_FALSE(t.IsUShort(5));
    t.LoadWords(5, fffe, 1);
    EXPECT_EQ(t.GetValue(5), -2);
}

TEST(CParameter, AttributeBitsAreByteSwapped) {
    struct Case {
        uint16_t address;
        int byte;
        uint8_t mask;
    };
    for (const Case& c : {Case{0, 1, 0x01}, Case{8, 0, 0x01}, Case{30000, 21, 0x01}, Case{15, 0, 0x80},
                          Case{149, 19, 0x20}, Case{31999, 268, 0x80}}) {
        CParameter t;
        EXPECT_EQ(t.TestAttribute(c.address), 0);
        t.SetAttribute(c.address, 1);
        EXPECT_EQ(t.TestAttribute(c.address), 1) << c.address;
        for (int b = 0; b < CParameter::kAttributeBytes; ++b)
            ASSERT_EQ(t.Attributes()[b], b == c.byte ? c.mask : 0) << c.address << " byte " << b;
        t.SetAttribute(c.address, 0);
        EXPECT_EQ(t.TestAttribute(c.address), 0);
    }
    // Loading a block reproduces the same bits; addresses without a slot have none.
    std::vector<uint8_t> bytes(CParameter::kAttributeBytes, 0);
    bytes[1] = 0x01;
    bytes[21] = 0x01;
    CParameter t;
    t.LoadAttributes(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(t.TestAttribute(0), 1);
    EXPECT_EQ(t.TestAttribute(8), 0);
    EXPECT_EQ(t.TestAttribute(30000), 1);
    EXPECT_EQ(t.TestAttribute(63000), 0);
    t.SetAttribute(63000, 1);
    EXPECT_EQ(t.TestAttribute(63000), 0);
}
