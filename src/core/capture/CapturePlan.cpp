#include "core/capture/CapturePlan.h"

#include <algorithm>

#include "core/capture/SamplingProtocol.h"
#include "core/protocol/Registers.h"

namespace hx {
namespace {

// A block's request (8 bytes), its reply (station, function, count, 100 data
// bytes, CRC) and the rest of 3.5 characters before each of them.
constexpr double kCharsPerBlock = 8 + 105 + 7;
constexpr double kBitsPerChar = 11;
constexpr double kNetworkBlockMs = 2.0;

}  // namespace

std::vector<int> PointsChoices(int captureCapacity, int selectedChannels, float firmwareVersion) {
    const int k = std::max(1, selectedChannels);
    int per = captureCapacity / k;
    if (per < reg::kSampleLegacyPoints || firmwareVersion < static_cast<float>(reg::kSampleFirmwareWithPoints))
        per = reg::kSampleLegacyPoints;
    std::vector<int> choices;
    for (int p = reg::kSampleLegacyPoints; p <= per; p += 100) choices.push_back(p);
    return choices;
}

int EstimatedFetchMs(const ChannelCodes& codes, int pointsPerChannel, int baud) {
    const int points = std::clamp(pointsPerChannel, 0, 65535);
    const int blocks = CaptureBlockCount(codes, static_cast<uint16_t>(points));
    const double perBlockMs = baud > 0 ? kCharsPerBlock * kBitsPerChar * 1000.0 / baud : kNetworkBlockMs;
    return static_cast<int>(blocks * perBlockMs + 0.5);
}

}  // namespace hx
