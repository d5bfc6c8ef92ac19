// The setup wizard's logic: function lists, number conversion, polarity
// words, the write plan with its variant rule, and the page reads, writes and
// store against the simulated drive over a real pseudo-terminal.

#include <tuple>

#include "support/PtyDrive.h"
#include "core/protocol/Registers.h"
#include "core/wizard/SetupFile.h"
#include "core/wizard/WizardApply.h"
#include "core/wizard/WizardForm.h"
#include "core/wizard/WizardFunctions.h"
#include "core/wizard/WizardSettingText.h"

using namespace hx::wizard;
using hx::sim::DriveOptions;
using namespace hx::test;

namespace {

constexpr uint8_t kStation = 7;

// A KRV4 drive of that variant whose storage takes 50 ms.
struct Bench : ProgramFolderFirst, PtyDrive {
    explicit Bench(uint16_t variant, uint8_t station = kStation)
        : PtyDrive({.station = station, .variantCode = variant, .commandDelayMs = 50}, 250) {
        Vd().ClearRequests();
    }
};

WizardForm FilledForm() {
    WizardForm f{.aliasText = "4", .peakCurrentText = "3000", .standbyPercentText = "40", .standbyTimeText = "400",
                 .pulsesText = "4000"};
    for (int k = 0; k < kPins; ++k) {
        f.inputFunction[k] = static_cast<int16_t>(1 << k);
        f.inputFilterText[k] = std::to_string(100 + k);
        f.outputFunction[k] = static_cast<int16_t>(k < 5 ? 1 << (k % 5) : 0);
    }
    return f;
}

std::vector<uint16_t> PlanAddresses(const WritePlan& plan) {
    std::vector<uint16_t> out;
    for (const auto& w : plan) out.push_back(w.address);
    return out;
}

}  // namespace

// The lists as the wizard's pages show them, an input code no entry has
// among them: the wizard window's test.
TEST(WizardFunctions, ListsCodesAndTheFirstMatchingEntry) {
    const auto inputs = InputFunctionEntries();
    const auto outputs = OutputFunctionEntries();
    ASSERT_EQ(inputs.size(), 7u);
    ASSERT_EQ(outputs.size(), 6u);
    EXPECT_EQ(outputs[0].code, 0) << "an entry without ':' is code 0";
    EXPECT_EQ(FunctionCodeOf("16:主站输出"), 16);
    EXPECT_EQ(FindFunctionEntry(outputs, 0), 0) << "code 0 selects 无输出";
    EXPECT_EQ(FindFunctionEntry(inputs, 0), -1) << "no input entry has code 0";
    // Codes compare as signed 16-bit numbers.
    EXPECT_EQ(FindFunctionEntry(outputs, 0x10008), FindFunctionEntry(outputs, 8));
}

TEST(WizardForm, NumbersAndPolarityWords) {
    // Refused text leaves the value alone; leading digits keep the plain
    // conversion; the result is written as a 16-bit word without a range check.
    struct Case {
        const char* text;
        bool taken;
        uint16_t word;
    };
    for (const Case& c : {Case{"", false, 99}, Case{"abc", false, 99}, Case{"  -", false, 99}, Case{"x12", false, 99},
                          Case{" 12mA", true, 12}, Case{"-5", true, 0xFFFB}, Case{"+0", true, 0},
                          Case{"51200", true, 51200}, Case{"70000", true, 70000 - 65536}}) {
        int16_t v = 99;
        EXPECT_EQ(ParseWizardNumber(c.text, &v), c.taken) << c.text;
        EXPECT_EQ(static_cast<uint16_t>(v), c.word) << c.text;
    }

    bool bits[kPins];
    PolarityBits(0x0005, bits);
    EXPECT_EQ(std::vector<bool>(bits, bits + kPins), (std::vector<bool>{true, false, true, false, false, false, false}));
    PolarityBits(0xFFFF, bits);
    EXPECT_EQ(PolarityWord(bits), 0x7F) << "bits 7..15 are written as 0";
}

TEST(WizardForm, WriteOrderAliasRuleVariantRuleAndRefusedText) {
    WizardForm f = FilledForm();
    WritePlan plan;
    // Variant 1000, all seven pins, is the apply test's.
    // Any other variant: five inputs and two outputs; the polarity words keep
    // the hidden pins' bits.
    f.inputInverted[0] = true;
    f.inputInverted[6] = true;
    f.outputInverted[4] = true;
    ASSERT_TRUE(PlanWrites(f, 1001, &plan));
    const std::vector<uint16_t> small = {50,  0,   2,   3,   1,   51,  124, 125, 126, 127, 128,
                                         129, 130, 131, 132, 133, 134, 5,   6,   8};
    EXPECT_EQ(PlanAddresses(plan), small) << "alias source 0 writes only 50";
    EXPECT_EQ(plan[0].value, 0);
    EXPECT_EQ(plan[16].value, 0x41);
    EXPECT_EQ(plan.back().value, 0x10);

    // Text that is no number is refused before anything is planned; a hidden
    // pin's text is not written and so not checked.
    f.inputFilterText[6] = "";
    EXPECT_TRUE(PlanWrites(f, 1001, &plan));
    f.peakCurrentText = "";
    Setting bad;
    EXPECT_FALSE(PlanWrites(f, 1001, &plan, &bad));
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(bad.kind, SettingKind::PeakCurrent);
    f.peakCurrentText = "3000";
    f.inputFilterText[2] = "fast";
    EXPECT_FALSE(PlanWrites(f, 1001, &plan, &bad));
    EXPECT_EQ(bad, (Setting{SettingKind::InputFilter, 3}));
    EXPECT_EQ(SettingKey(bad), "input3_filter_us");
    // The dictionary alias is checked only when it is the source.
    f.inputFilterText[2] = "7";
    f.aliasText = "";
    EXPECT_TRUE(PlanWrites(f, 1001, &plan));
    f.aliasSource = 1;
    EXPECT_FALSE(PlanWrites(f, 1001, &plan, &bad));
    EXPECT_EQ(bad.kind, SettingKind::Alias);
}

TEST(WizardDrive, PagesReadWhatTheyShow) {
    Bench b(1001);
    auto& vd = b.Vd();
    vd.SetRam(49, 17);
    WizardForm f;

    // Alias source 1: the dictionary's alias, editable; any other: the switch's.
    for (auto [source, shown, alias, from] : {std::tuple{1, 1, "17", 49}, {2, 0, "4", 4}}) {
        vd.SetRam(50, static_cast<uint16_t>(source));
        vd.ClearRequests();
        WizardReader r(b.Link());
        ASSERT_TRUE(LoadAliasPage(r, f));
        EXPECT_EQ(f.aliasSource, shown);
        EXPECT_EQ(f.aliasText, alias);
        EXPECT_EQ(b.Addresses(kRead), (std::vector<uint16_t>{50, static_cast<uint16_t>(from)}));
    }
    // The switch is set on the drive, never over the wire.
    EXPECT_FALSE(b.comm.Write(kStation, hx::reg::kWizardAliasSwitch, 5));
    EXPECT_EQ(b.comm.ReadAddressValue(kStation, hx::reg::kWizardAliasSwitch), 4);

    // Currents and pulses show unsigned, filters signed.
    // 134: SI1, SI3 and the hidden SI7 inverted.
    for (auto [reg, value] : {std::pair{0, 40000}, {1, 51200}, {51, 1}, {129, 0xFFFD}, {134, 0x45}, {8, 0x05}, {5, 8}})
        vd.SetRam(static_cast<uint16_t>(reg), static_cast<uint16_t>(value));
    vd.ClearRequests();
    WizardReader r3(b.Link());
    ASSERT_TRUE(RunLoadStep(r3, LoadStep::CurrentPage, f, 1001));
    ASSERT_TRUE(RunLoadStep(r3, LoadStep::PulsesPage, f, 1001));
    ASSERT_TRUE(RunLoadStep(r3, LoadStep::IoPage, f, 1001));
    EXPECT_EQ(f.peakCurrentText, "40000");
    EXPECT_EQ(f.pulsesText, "51200");
    EXPECT_TRUE(f.commandInverted);
    EXPECT_EQ(f.inputFilterText[0], "-3");
    EXPECT_EQ(std::vector<bool>(f.inputInverted, f.inputInverted + kPins),
              (std::vector<bool>{true, false, true, false, false, false, true})) << "the hidden pin's bit is kept";
    EXPECT_EQ(f.outputFunction[0], 8);
    EXPECT_TRUE(f.outputInverted[2]);
    const std::vector<uint16_t> reads = {0,   2,   3,   1,   51,  124, 125, 126, 127, 128,
                                         129, 130, 131, 132, 133, 134, 5,   6,   8};
    EXPECT_EQ(b.Addresses(kRead), reads) << "the hidden pins' registers are not read";
    EXPECT_EQ(r3.values().at(134), 0x45);
}

TEST(WizardDrive, ApplyWritesInOrderAndWaitsForTheStore) {
    Bench b(1000);
    WizardForm f = FilledForm();
    f.aliasSource = 1;
    f.aliasText = "9";
    f.inputInverted[5] = true;
    WritePlan plan;
    ASSERT_TRUE(PlanWrites(f, 1000, &plan));

    std::vector<std::pair<int, int>> progress;
    const ApplyResult r = ApplyWizard(b.Link(), plan, {}, [&](int d, int t) { progress.emplace_back(d, t); });
    EXPECT_TRUE(r.completed());
    EXPECT_EQ(r.writesDone, static_cast<int>(plan.size()));
    // (The order of the writes and the values stored: the wizard window's test.)
    EXPECT_EQ(b.Vd().CommandsCompleted(90), 1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(31, 31));

    // A store that never clears is a failure, polled as the parameter
    // manager's save (the polls come one after the other here).
    b.Vd().SetStuck(90, true);
    const ApplyResult stuck = ApplyWizard(b.Link(), plan, {}, {}, nullptr, [](auto, auto) { return true; });
    EXPECT_EQ(stuck.outcome, ApplyOutcome::StoreNotCleared);
    EXPECT_EQ(stuck.writesDone, static_cast<int>(plan.size()));
    EXPECT_EQ(stuck.store.pollsDone, 30);
}

// A write the drive leaves unanswered (it falls silent after the fourth) or
// refuses (it takes 100..8000 mA) stops the apply there, and nothing is stored.
TEST(WizardDrive, AnUnansweredOrRefusedWriteStopsThereAndNothingIsStored) {
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "unanswered");
        Bench b(1001);
        WizardForm f = FilledForm();
        if (refuse) f.peakCurrentText = "50";
        WritePlan plan;
        ASSERT_TRUE(PlanWrites(f, 1001, &plan));
        const ApplyResult r = ApplyWizard(b.Link(), plan, {}, [&](int done, int) {
            if (done == 4) b.Server().SetStation(kStation + 1);
        });
        b.Server().SetStation(kStation);
        EXPECT_EQ(r.outcome, ApplyOutcome::WriteUnanswered);
        EXPECT_FALSE(r.completed());
        EXPECT_EQ(r.refused, refuse);
        EXPECT_EQ(r.writesDone, refuse ? 1 : 4);
        ASSERT_TRUE(r.unanswered.has_value());
        EXPECT_EQ(r.unanswered->address, refuse ? 0 : 1);
        EXPECT_EQ(r.unanswered->setting.kind, refuse ? SettingKind::PeakCurrent : SettingKind::PulsesPerRev);
        const std::vector<uint16_t> sent = refuse ? std::vector<uint16_t>{50, 0} : std::vector<uint16_t>{50, 0, 2, 3};
        EXPECT_EQ(b.Addresses(kWriteSingle), sent) << "nothing after the failed write";
        EXPECT_EQ(b.Vd().CommandsCompleted(90), 0);
    }
}

TEST(SetupFile, ParseRefusesWhatItCannotWriteAndASubsetWritesOnlyWhatItNames) {
    SetupValues v;
    std::string error;
    ASSERT_TRUE(ParseSetup("# a comment\n\nalias_source=1\n alias = 12 \r\ninput7_invert=1\n", &v, &error)) << error;
    EXPECT_EQ(v, (SetupValues{{"alias_source", 1}, {"alias", 12}, {"input7_invert", 1}}));
    EXPECT_FALSE(ParseSetup("peak_current=3000\n", &v, &error));
    EXPECT_EQ(error, "line 1: unknown setting peak_current");
    EXPECT_FALSE(ParseSetup("alias=1\nalias=2\n", &v, &error));
    EXPECT_EQ(error, "line 2: alias given twice");
    for (const char* bad : {"peak_current_ma=\n", "peak_current_ma=3k\n", "output1_invert=2\n",
                            "pulses_per_rev=65536\n", "input8_function=1\n", "just words\n"})
        EXPECT_FALSE(ParseSetup(bad, &v, &error)) << bad;
    EXPECT_TRUE(v.empty());

    // The whole round trip (read, print, parse, apply, read back) is the
    // command line's setup test, on a drive whose pins are all inverted; here
    // each pin prints its own, and a subset writes only what it names, a
    // five-input drive leaving out the pins it lacks.
    SetupReading reading{1000, FilledForm()};
    reading.form.inputInverted[6] = reading.form.outputInverted[6] = true;
    const std::string text = FormatSetup(reading);
    EXPECT_NE(text.find("\ninput6_function=32\ninput6_filter_us=105\ninput6_invert=0\ninput7_function=64\n"
                        "input7_filter_us=106\ninput7_invert=1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\noutput6_function=0\noutput6_invert=0\noutput7_function=0\noutput7_invert=1\n"), std::string::npos);
    Bench d(1001, 3);
    d.Vd().SetRam(134, 0x40);
    ASSERT_TRUE(ParseSetup("input1_invert=1\ninput6_function=32\npeak_current_ma=2500\n", &v, &error));
    const SetupApplyReport partial = ApplySetup(d.Link(), 1001, v);
    EXPECT_TRUE(partial.succeeded());
    EXPECT_EQ(PlanAddresses(partial.plan), (std::vector<uint16_t>{0, 134}));
    EXPECT_EQ(d.Vd().Ram(134), 0x41) << "the hidden pin's bit stays";
    EXPECT_EQ(d.Vd().Ram(44), 0);
    ASSERT_EQ(partial.notes.size(), 1u);
    EXPECT_EQ(partial.notes[0], "input6_function: the drive has 5 inputs, not written");
}
