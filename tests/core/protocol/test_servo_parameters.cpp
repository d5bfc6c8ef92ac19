// What the servo loop's parameters mean, against both models' definitions
// and the help pages.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>

#include "core/params/DriveDefinitions.h"
#include "core/protocol/ServoParameters.h"
#include "support/TestSupport.h"

using hx::servo::Param;

TEST(ServoParameters, WordsMeanTheirUnits) {
    const double rpm = 2 * std::numbers::pi / 60;
    const struct {
        Param p;
        int16_t word;
        double si;
    } cases[] = {
        {Param::PositionGain, 480, 48.0},         // 0.1 /s
        {Param::SpeedGain, 270, 27.0},            // 0.1 Hz
        {Param::SpeedIntegralTime, 210, 0.021},   // 0.1 ms
        {Param::SpeedFeedforward, 300, 0.3},      // 0.1 %
        {Param::SpeedFeedforwardFilter, 50, 5e-4},  // 0.01 ms
        {Param::TorqueFeedforward, 1000, 1.0},
        {Param::InertiaRatio, 250, 2.5},          // %
        {Param::TorqueFilter, 84, 8.4e-4},        // 0.01 ms
        {Param::FeedforwardSmoothing, 6400, 0.064},
        {Param::CurrentKp, 1000, 5.0},            // 0.005 V/A
        {Param::CurrentKi, 200, 20000},           // 100 V/(A s)
        {Param::CurrentKc, 512, 0.5},             // 1/1024
        {Param::Notch1Frequency, 300, 300},       // Hz
        {Param::Notch2Width, 4, 0.2},             // ζ = W/20
        {Param::Notch4Depth, 10, 0.1},            // gain at F
        {Param::OverSpeedLevel, 3000, 3000 * rpm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.p));
        EXPECT_NEAR(hx::servo::WordToSi(c.p, c.word), c.si, 1e-9 * std::abs(c.si));
        EXPECT_EQ(hx::servo::SiToWord(c.p, c.si), c.word);
    }
    // 0 is the motor's top speed; a value beyond the range keeps to its end.
    EXPECT_NEAR(hx::servo::WordToSi(Param::OverSpeedLevel, 0), 6000 * rpm, 1e-9);
    EXPECT_EQ(hx::servo::SiToWord(Param::SpeedGain, 1e9), 32767);
    EXPECT_EQ(hx::servo::SiToWord(Param::SpeedGain, std::nan("")), 1);
    EXPECT_EQ(hx::servo::SiToWord(Param::Notch1Depth, 5), 99);
    // Decoded: a notch is on below 5000 Hz with a width, integral off by Pr1.25.
    hx::servo::Words w = hx::servo::FactoryWords(hx::servo::Model::Krv4);
    EXPECT_FALSE(hx::servo::Decode(w).notches[0].on);
    w[static_cast<size_t>(Param::Notch1Frequency)] = 4999;
    w[static_cast<size_t>(Param::IntegralOff)] = 1;
    EXPECT_TRUE(hx::servo::Decode(w).notches[0].on);
    EXPECT_FALSE(hx::servo::Decode(w).integralOn);
    EXPECT_EQ(hx::servo::Encode(hx::servo::Decode(w)), w);
}

// W is the notch's −3 dB band at full depth in tenths of F; D/100 its gain at F.
TEST(ServoParameters, TheNotchsWidthAndDepthAreTheFormulas) {
    for (int width : {2, 4, 10, 20}) {
        hx::servo::Notch n{.on = true, .frequencyHz = 400,
                           .zeta = hx::servo::WordToSi(Param::Notch1Width, static_cast<int16_t>(width)), .depth = 0};
        // The band's edges lie at F·(√(1 + ζ²) ± ζ): F·W/10 apart.
        const double z = n.zeta, lo = 400 * (std::sqrt(1 + z * z) - z), hi = 400 * (std::sqrt(1 + z * z) + z);
        EXPECT_NEAR(hi - lo, 400 * width / 10.0, 1e-9) << width;
        EXPECT_NEAR(std::abs(hx::servo::NotchResponse(n, lo)), std::sqrt(0.5), 1e-9) << width;
        EXPECT_NEAR(std::abs(hx::servo::NotchResponse(n, hi)), std::sqrt(0.5), 1e-9) << width;
        for (int depth : {0, 10, 50, 99}) {
            n.depth = hx::servo::WordToSi(Param::Notch1Depth, static_cast<int16_t>(depth));
            EXPECT_NEAR(std::abs(hx::servo::NotchResponse(n, 400)), depth / 100.0, 1e-12);
        }
    }
}

// Every parameter sits where each model's definitions put it, under its
// name there, with the definitions' range and factory value; the notch
// frequency is 30100 on KRV4 and 30000 on KRV7 (the simulated drive's loop
// test reads them there).
TEST(ServoParameters, AddressesNamesRangesAndFactoryWordsAreTheDefinitions) {
    EXPECT_EQ(hx::servo::ModelFromName("krv7"), hx::servo::Model::Krv7);
    EXPECT_EQ(hx::servo::ModelFromName("KRV4"), hx::servo::Model::Krv4);
    EXPECT_EQ(hx::servo::ModelFromName("HX-OTHER"), hx::servo::Model::Krv4);
    hx::test::TempProgramFolder folder;
    for (const auto& [model, name] : {std::pair{hx::servo::Model::Krv4, "KRV4"}, {hx::servo::Model::Krv7, "KRV7"}}) {
        std::map<uint16_t, hx::ParameterDefinition> rows;
        for (const auto& d : hx::LoadDefinitions(folder.DatabasePath(), name)) rows[d.address] = d;
        int present = 0;
        for (int i = 0; i < hx::servo::kParamCount; ++i) {
            const auto p = static_cast<Param>(i);
            const auto address = hx::servo::Address(model, p);
            if (!address) continue;
            ++present;
            SCOPED_TRACE(testing::Message() << name << " " << *address);
            ASSERT_EQ(rows.count(*address), 1u);
            const auto& row = rows[*address];
            EXPECT_EQ(row.name, *hx::servo::Name(model, p));
            EXPECT_EQ(row.defaultValue, std::to_string(hx::servo::FactoryWord(model, p)));
            const auto& info = hx::servo::Info(p);
            EXPECT_EQ(row.scope, std::to_string(info.minWord) + "~" + std::to_string(info.maxWord));
        }
        EXPECT_EQ(present, model == hx::servo::Model::Krv4 ? hx::servo::kParamCount : hx::servo::kParamCount - 3);
    }
}

// The help pages quote the notch's formula and say which parameters the
// simulated drive ignores, in both languages.
TEST(ServoParameters, TheHelpPagesQuoteTheMeaning) {
    const std::filesystem::path help = std::filesystem::path(HALVEX_SOURCE_DIR) / "resources" / "help";
    auto page = [&](const char* folder, const std::string& name) {
        return hx::test::ReadFileBytes((help / folder / (name + ".html")).string());
    };
    for (int n = 13; n <= 24; ++n) {
        const std::string name = "Pr2." + std::to_string(n);
        EXPECT_NE(page("ParametersHelp", name).find(hx::servo::kNotchFormula), std::string::npos) << name;
        EXPECT_NE(page("ParametersHelpEN", name).find(hx::servo::kNotchFormula), std::string::npos) << name;
    }
    for (const char* name : {"Pr1.14", "Pr2.25", "Pr1.15", "Pr1.16", "Pr1.17", "Pr1.19", "Pr1.20"}) {
        EXPECT_NE(page("ParametersHelp", name).find("仿真驱动器上此参数不起作用"), std::string::npos) << name;
        EXPECT_NE(page("ParametersHelpEN", name).find("No effect on the simulated drive"), std::string::npos) << name;
    }
}
