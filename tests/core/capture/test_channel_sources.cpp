// The source table and the channel lists built from a source mask.

#include <gtest/gtest.h>

#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/capture/SamplingProtocol.h"
#include "core/capture/SpectrumJob.h"

using namespace hx;

TEST(ChannelSources, ListsFollowTheMaskInBitOrder) {
    auto entries = FillChannelLists(0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "<-----空----->");
    EXPECT_EQ(entries[0].code, 0);

    entries = FillChannelLists(0xFFFF);
    ASSERT_EQ(entries.size(), 17u);
    EXPECT_EQ(entries[1].name, "位置误差(p)");
    EXPECT_EQ(entries[4].name, "速度参考(0.01rps)");
    EXPECT_EQ(entries[15].name, "未知通道");
    EXPECT_EQ(entries[15].code, 0);
    EXPECT_EQ(entries[16].name, "力矩电流(mA)");
    EXPECT_EQ(entries[16].code, 32768);

    entries = FillChannelLists(0x0102);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].code, 2);
    EXPECT_EQ(entries[2].name, "母线电压(V)");
}

TEST(ChannelSources, NamesToCodes) {
    EXPECT_EQ(ChannelNameToCode("未知通道"), 0);
    EXPECT_EQ(ChannelNameToCode("<-----空----->"), 0);
    EXPECT_EQ(ChannelNameToCode("nonsense"), 0);
    EXPECT_EQ(ChannelSourceName(4096), "加速度给定(R/S^2)");
    EXPECT_EQ(ChannelSourceName(0), "");
    for (const auto& s : kChannelSources) {
        if (s.code == 0) continue;
        EXPECT_EQ(ChannelNameToCode(ChannelSourceName(s.code)), s.code);
    }
}

// Per channel: offered or not, and the list entry it selects (-1: none).
std::string Offers(int channels, int sources) {
    std::string out;
    for (const ChannelOffer& o : OfferChannels(channels, sources))
        out += (o.offered ? "+" : "-") + std::to_string(o.entry) + " ";
    return out;
}

TEST(ChannelSources, ChannelsOfferedFollowTheDrivesCountAndSources) {
    // Two to four channels are offered as the drive captures them; any
    // other count offers channel 1 alone.
    EXPECT_EQ(Offers(4, 16), "+1 +2 +3 +4 ");
    EXPECT_EQ(Offers(3, 16), "+1 +2 +3 -0 ");
    EXPECT_EQ(Offers(2, 16), "+1 +2 -0 -0 ");
    for (int n : {1, 0, 5, -1, 99}) EXPECT_EQ(Offers(n, 16), "+1 -0 -0 -0 ") << n;
    // Few sources, channel counts 0..5 against 0..3 sources: the later
    // channels stop at the last source but one; without sources channel 1
    // shows the empty entry and the others no selection.
    const char* const expected[6][4] = {
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
        {"+0 +-1 -0 -0 ", "+1 +0 -0 -0 ", "+1 +1 -0 -0 ", "+1 +2 -0 -0 "},
        {"+0 +-1 +-1 -0 ", "+1 +0 +0 -0 ", "+1 +1 +1 -0 ", "+1 +2 +2 -0 "},
        {"+0 +-1 +-1 +-1 ", "+1 +0 +0 +0 ", "+1 +1 +1 +1 ", "+1 +2 +2 +2 "},
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
    };
    for (int n = 0; n <= 5; ++n)
        for (int sources = 0; sources <= 3; ++sources)
            EXPECT_EQ(Offers(n, sources), expected[n][sources]) << n << " channels, " << sources << " sources";
}

TEST(CapturePlan, PointsListBlocksAndFetchTime) {
    EXPECT_EQ(PointsChoices(2000, 4, 200.0f), (std::vector<int>{200, 300, 400, 500}));
    const auto one = PointsChoices(2000, 1, 200.0f);
    ASSERT_EQ(one.size(), 19u);
    EXPECT_EQ(one.front(), 200);
    EXPECT_EQ(one.back(), 2000);
    EXPECT_EQ(PointsChoices(2000, 0, 200.0f).back(), 2000);  // at least one channel
    // Older firmware captures 200 points a channel whatever its capacity.
    EXPECT_EQ(PointsChoices(8000, 1, 199.0f), (std::vector<int>{200}));
    EXPECT_EQ(PointsChoices(300, 4, 250.0f), (std::vector<int>{200}));
    EXPECT_EQ(PointsChoices(-1, 1, 250.0f), (std::vector<int>{200}));

    EXPECT_EQ(CaptureBlockCount({1, 0, 4, 0}, 1000), 40);
    EXPECT_EQ(CaptureBlockCount({1, 2, 4, 8}, 220), 20);  // 50, 50, 50, 50, 20 per channel
    // 40 blocks of 120 characters of 11 bits: 52800 bits.
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 38400), 1375);
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 115200), 458);
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 0), 80);  // a network link
}

TEST(Spectrum, SettingsAndBinFrequencies) {
    EXPECT_EQ(SpectrumSettingsWord(2, 1), 18);
    EXPECT_EQ(SpectrumSettingsWord(0x1F, 0x1FFF), 0xFFFF);
    EXPECT_EQ(SpectrumAxisEnd(1024), 2000);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(512), 1000.0);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(1), 4000.0 / 2048.0);
}
