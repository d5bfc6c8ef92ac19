#pragma once
// What a capture will be before it is started: the points a channel may
// take and how long reading the points back will take. The waveform window,
// the run test and the command line offer the same choices.

#include <vector>

#include "core/capture/ChannelSources.h"

namespace hx {

// The points-per-channel list: "200", "300", ... up to what the capture
// capacity gives each selected channel (at least one), only "200" before
// firmware 200.0, whose drives capture 200 points a channel whatever is
// asked. The last entry is the one to select.
std::vector<int> PointsChoices(int captureCapacity, int selectedChannels, float firmwareVersion);

// Milliseconds the blocks of a capture take on a serial line at baud (11 bits
// a character, the line resting 3.5 characters before each frame); a network
// link (baud 0) is counted at 2 ms a block.
int EstimatedFetchMs(const ChannelCodes& codes, int pointsPerChannel, int baud);

}  // namespace hx
