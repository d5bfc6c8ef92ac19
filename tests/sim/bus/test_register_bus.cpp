// The register bus: routing, the request rules every part obeys, and time.

#include <gtest/gtest.h>

#include <map>

#include "sim/bus/RegisterBus.h"

using namespace std::chrono_literals;
using namespace hx::sim;

namespace {

// A plain block of words; refuses the value 0xDEAD, and counts time.
class Words final : public Part {
public:
    Words(uint16_t first, uint16_t last, std::string_view name) : m_range{first, last}, m_name(name) {}
    std::string_view Name() const override { return m_name; }
    std::vector<AddressRange> Ranges() const override { return {m_range}; }
    uint8_t Read(uint16_t a, uint16_t& v) override {
        v = m_words[a];
        return mbex::kNone;
    }
    uint8_t CheckWrite(uint16_t, uint16_t v, const WriteRequest&) override {
        return v == 0xDEAD ? mbex::kIllegalValue : mbex::kNone;
    }
    void Write(uint16_t a, uint16_t v, const WriteRequest&) override { m_words[a] = v; }
    void Advance(SimTime now) override { advancedTo = now; }
    std::optional<SimTime> NextDue() const override { return due; }

    SimTime advancedTo{-1};
    std::optional<SimTime> due;

private:
    AddressRange m_range;
    std::string_view m_name;
    std::map<uint16_t, uint16_t> m_words;
};

}  // namespace

TEST(RegisterBus, RoutesAddressesAndALaterPartTakesOverSingleRegisters) {
    RegisterBus bus;
    auto& wide = bus.Add(std::make_unique<Words>(0, 149, "wide"));
    auto& narrow = bus.Add(std::make_unique<Words>(90, 91, "narrow"));
    for (auto [address, part] : {std::pair<uint16_t, Part*>{89, &wide}, {90, &narrow}, {91, &narrow}, {92, &wide},
                                 {150, nullptr}})
        EXPECT_EQ(bus.At(address), part) << address;

    // A block across both parts reaches each with its own registers.
    const uint16_t values[4] = {1, 2, 3, 4};
    ASSERT_EQ(bus.Write({89, values, 4, false}), mbex::kNone);
    uint16_t v = 0;
    ASSERT_TRUE(bus.Peek(90, v));
    EXPECT_EQ(v, 2);
    uint16_t out[4] = {};
    ASSERT_EQ(bus.Read(89, 4, out), mbex::kNone);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
}

TEST(RegisterBus, ARefusedRequestChangesNothingAnywhere) {
    RegisterBus bus;
    bus.Add(std::make_unique<Words>(0, 9, "a"));
    bus.Add(std::make_unique<Words>(10, 19, "b"));
    bus.Add(std::make_unique<Words>(30, 39, "c"));

    // One bad value in the second part: the first part's registers are not
    // written either.
    const uint16_t bad[4] = {7, 7, 0xDEAD, 7};
    EXPECT_EQ(bus.Write({8, bad, 4, false}), mbex::kIllegalValue);
    uint16_t out[4] = {};
    ASSERT_EQ(bus.Read(8, 4, out), mbex::kNone);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);

    // A gap of unmapped addresses inside a request: exception 2, nothing done.
    const uint16_t across[25] = {5};
    EXPECT_EQ(bus.Write({15, across, 25, false}), mbex::kIllegalAddress);
    EXPECT_EQ(bus.Read(15, 25, out), mbex::kIllegalAddress);
    EXPECT_EQ(bus.Read(0xFFFF, 2, out), mbex::kIllegalAddress);  // past the end
    uint16_t v = 1;
    ASSERT_TRUE(bus.Peek(15, v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(bus.Poke(20, 1));
}

TEST(RegisterBus, PartsCatchUpWithTheClockAndSayWhenTheyAreDue) {
    RegisterBus bus;
    auto& a = bus.Add(std::make_unique<Words>(0, 9, "a"));
    auto& b = bus.Add(std::make_unique<Words>(10, 19, "b"));
    EXPECT_FALSE(bus.NextDue());
    a.due = 50ms;
    b.due = 20ms;
    EXPECT_EQ(bus.NextDue(), SimTime(20ms));

    SteppedClock clock;
    clock.Step(1500us);
    bus.Advance(clock.Now());
    EXPECT_EQ(a.advancedTo, SimTime(1500us));
    EXPECT_EQ(b.advancedTo, SimTime(1500us));
}
