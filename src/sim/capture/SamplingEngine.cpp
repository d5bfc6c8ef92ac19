#include "sim/capture/SamplingEngine.h"

#include <algorithm>
#include <stdexcept>

#include "core/protocol/Registers.h"

namespace hx::sim {
namespace {

int ChannelOf(uint16_t address) {
    for (int i = 0; i < 4; ++i)
        if (reg::kSampleChannelCode[i] == address) return i;
    return -1;
}

bool IsStatus(uint16_t a) {
    return a == reg::kSampleSourceMask || a == reg::kSampleChannelCount || a == reg::kSampleCapacity ||
           a == reg::kSampleState;
}

}  // namespace

uint16_t SamplingEngine::MaxCapacity() { return reg::kSampleDataEnd - reg::kSampleDataFirst; }

SamplingEngine::SamplingEngine(SamplingOptions options, MotorModel& motor) : m_options(options), m_motor(motor) {
    if (m_options.capacity > MaxCapacity())
        throw std::invalid_argument("a capture capacity of " + std::to_string(m_options.capacity) +
                                    " points does not fit below the spectrum results (at most " +
                                    std::to_string(MaxCapacity()) + ")");
    if (m_options.channels > 4)
        throw std::invalid_argument("the drive records at most 4 channels at once, not " +
                                    std::to_string(m_options.channels));
    m_area.assign(m_options.capacity, 0);
}

std::vector<AddressRange> SamplingEngine::Ranges() const {
    std::vector<AddressRange> r = {{reg::kSampleTrigger, reg::kSampleTrigger},
                                   {reg::kSampleInterval, reg::kSampleInterval},
                                   {reg::kSampleSourceMask, reg::kSampleSourceMask},
                                   {reg::kSampleChannelCount, reg::kSampleChannelCount},
                                   {reg::kSampleCapacity, reg::kSampleCapacity},
                                   {reg::kSampleState, reg::kSampleState}};
    for (uint16_t a : reg::kSampleChannelCode) r.push_back({a, a});
    if (m_options.hasPointsRegister) r.push_back({reg::kSamplePoints, reg::kSamplePoints});
    if (m_options.capacity > 0)
        r.push_back({reg::kSampleDataFirst, static_cast<uint16_t>(reg::kSampleDataFirst + m_options.capacity - 1)});
    return r;
}

std::vector<AddressRange> SamplingEngine::BlockReadRanges() const {
    if (m_options.capacity == 0) return {};
    return {{reg::kSampleDataFirst, static_cast<uint16_t>(reg::kSampleDataFirst + m_options.capacity - 1)}};
}

uint8_t SamplingEngine::Read(uint16_t a, uint16_t& value) {
    if (a >= reg::kSampleDataFirst) {
        value = m_area[a - reg::kSampleDataFirst];
    } else if (const int ch = ChannelOf(a); ch >= 0) {
        value = m_codes[ch];
    } else {
        switch (a) {
        // The start command stays set while the capture runs.
        case reg::kSampleTrigger: value = m_running ? reg::kSampleTriggerValue : 0; break;
        case reg::kSampleInterval: value = m_interval; break;
        case reg::kSampleSourceMask: value = m_options.sourceMask; break;
        case reg::kSampleChannelCount: value = m_options.channels; break;
        case reg::kSampleCapacity: value = m_options.capacity; break;
        case reg::kSamplePoints: value = m_points; break;
        case reg::kSampleState: value = m_state; break;
        default: return mbex::kIllegalAddress;
        }
    }
    return mbex::kNone;
}

// The settings as they will be once the request is carried out.
uint16_t SamplingEngine::CodeAfter(int channel, const WriteRequest* request) const {
    const uint16_t a = reg::kSampleChannelCode[channel];
    return request && request->Covers(a) ? request->ValueAt(a) : m_codes[channel];
}
int SamplingEngine::ActiveAfter(const WriteRequest* request) const {
    int n = 0;
    for (int i = 0; i < 4; ++i) n += CodeAfter(i, request) != 0;
    return n;
}
uint16_t SamplingEngine::PointsAfter(const WriteRequest* request) const {
    if (!m_options.hasPointsRegister) return kLegacyPoints;
    return request && request->Covers(reg::kSamplePoints) ? request->ValueAt(reg::kSamplePoints) : m_points;
}

uint8_t SamplingEngine::CheckWrite(uint16_t a, uint16_t value, const WriteRequest& request) {
    if (a >= reg::kSampleDataFirst) return mbex::kNone;
    if (IsStatus(a)) {
        // Read-only: a block leaves them, a single write must not change them.
        uint16_t current = 0;
        Read(a, current);
        return request.single && current != value ? mbex::kIllegalValue : mbex::kNone;
    }
    if (const int ch = ChannelOf(a); ch >= 0) {
        if (value == 0) return mbex::kNone;
        const int bit = SourceBitOf(value);
        if (bit < 0 || bit == kUnknownSource || (m_options.sourceMask & value) == 0) return mbex::kIllegalValue;
        return ActiveAfter(&request) > std::min<int>(m_options.channels, 4) ? mbex::kIllegalValue : mbex::kNone;
    }
    switch (a) {
    case reg::kSampleInterval:
        return value == 0 ? mbex::kIllegalValue : mbex::kNone;
    case reg::kSamplePoints:
        // The points with the channels in use must fit when a capture
        // starts; the drive's own current-loop test records one channel,
        // whatever the channel codes say, so here only the area bounds it.
        return value == 0 || value > m_options.capacity ? mbex::kIllegalValue : mbex::kNone;
    case reg::kSampleTrigger:
        if (value != reg::kSampleTriggerValue) return mbex::kNone;
        return static_cast<uint32_t>(PointsAfter(&request)) * ActiveAfter(&request) > m_options.capacity
                   ? mbex::kIllegalValue
                   : mbex::kNone;
    }
    return mbex::kNone;
}

void SamplingEngine::Write(uint16_t a, uint16_t value, const WriteRequest&) {
    if (a >= reg::kSampleDataFirst) {
        m_area[a - reg::kSampleDataFirst] = value;
    } else if (const int ch = ChannelOf(a); ch >= 0) {
        m_codes[ch] = value;
    } else if (a == reg::kSampleInterval) {
        m_interval = value;
    } else if (a == reg::kSamplePoints) {
        m_points = value;
    } else if (a == reg::kSampleTrigger && value == reg::kSampleTriggerValue) {
        Start();
    }
    // Status registers: unchanged.
}

void SamplingEngine::Poke(uint16_t a, uint16_t value) {
    if (a >= reg::kSampleDataFirst) m_area[a - reg::kSampleDataFirst] = value;
    else if (const int ch = ChannelOf(a); ch >= 0) m_codes[ch] = value;
    else if (a == reg::kSampleInterval) m_interval = value;
    else if (a == reg::kSamplePoints) m_points = value;
    else if (a == reg::kSampleState) m_state = value;
    else if (a == reg::kSampleSourceMask) m_options.sourceMask = value;
    else if (a == reg::kSampleChannelCount) m_options.channels = value;  // as odd as a test wants it
    // The area keeps the size it was built with; a smaller capacity limits
    // the captures.
    else if (a == reg::kSampleCapacity) m_options.capacity = std::min<uint16_t>(value, static_cast<uint16_t>(m_area.size()));
}

std::optional<SimTime> SamplingEngine::ListensUntil() const {
    if (!m_running) return std::nullopt;
    return m_capture.start + m_capture.points * m_capture.interval;
}

bool SamplingEngine::Start() {
    Capture c;
    for (int i = 0; i < 4; ++i)
        if (m_codes[i] != 0) c.bits[c.active++] = SourceBitOf(m_codes[i]);
    c.points = Points();
    if (static_cast<uint32_t>(c.points) * c.active > m_options.capacity) return false;
    c.interval = std::chrono::microseconds(m_interval);
    c.start = m_now;
    m_capture = c;
    m_running = true;
    m_state = 0;
    return true;
}

void SamplingEngine::BeginDriveRecording(std::vector<int16_t> channel1) {
    m_running = false;
    m_state = 0;
    m_driveRecording = std::move(channel1);
}

void SamplingEngine::FinishDriveRecording() {
    const size_t n = std::min(m_driveRecording.size(), m_area.size());
    for (size_t k = 0; k < n; ++k) m_area[k] = static_cast<uint16_t>(m_driveRecording[k]);
    m_driveRecording.clear();
    m_state = reg::kSampleStateComplete;
}

void SamplingEngine::CancelDriveRecording() { m_driveRecording.clear(); }

void SamplingEngine::Take(const std::array<int16_t, kSourceCount>& signals) {
    const int k = m_capture.taken++;
    for (int c = 0; c < m_capture.active; ++c)
        m_area[static_cast<size_t>(c) * m_capture.points + k] = static_cast<uint16_t>(signals[m_capture.bits[c]]);
}

void SamplingEngine::OnTick(SimTime time, MotorModel& motor) {
    if (!m_running) return;
    // A point falls due at the first tick at or after its time; an interval
    // shorter than the tick repeats the tick's values.
    std::array<int16_t, kSourceCount> signals{};
    bool have = false;
    while (m_capture.taken < m_capture.points && m_capture.start + m_capture.taken * m_capture.interval <= time) {
        if (!have) signals = motor.Signals(), have = true;
        Take(signals);
    }
}

void SamplingEngine::Advance(SimTime now) {
    m_now = now;
    if (!m_running || now < m_capture.start + m_capture.points * m_capture.interval) return;
    // Points due between the last tick and now hold the last tick's values.
    if (m_capture.taken < m_capture.points) {
        const auto signals = m_motor.Signals();
        while (m_capture.taken < m_capture.points) Take(signals);
    }
    m_running = false;
    m_state = reg::kSampleStateComplete;
}

}  // namespace hx::sim
