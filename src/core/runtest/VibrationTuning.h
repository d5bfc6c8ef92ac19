#pragma once
// The vibration assistant's runs: which channels a run records for it, the
// residual vibration of a run's capture, and the writes of a proposed
// anti-vibration set.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis/Vibration.h"
#include "core/runtest/RunFields.h"
#include "core/runtest/RunSequence.h"

namespace hx::runtest {

// Source codes the assistant reads.
inline constexpr uint32_t kPositionErrorCode = 1, kSpeedFeedbackCode = 2, kPositionReferenceCode = 16;

// The channels of an assistant's run: the position error (else the speed
// feedback) as the signal, and the position reference to see where the
// move ends when the drive can record it as well. All 0 when the drive
// offers neither signal.
std::array<uint32_t, 4> VibrationChannels(int sourceMask, int channelCount);

struct RunVibration {
    enum class Status {
        Analysed,
        NoSignal,      // neither the position error nor the speed feedback was recorded
        MoveNotEnded,  // the capture ends before the move does
        TooShort,      // less than the window after the move is recorded
    };
    Status status = Status::NoSignal;
    uint32_t signalCode = 0;  // the source analysed
    analysis::ResidualVibration vibration;
};

// The residual vibration of the first move of a velocity run's capture:
// the position error when recorded, else the speed feedback; the move's end
// from the position reference when recorded, else from the trapezoid and
// the anti-vibration settings the run had.
RunVibration AnalyseVelocityRun(const std::array<uint32_t, 4>& codes, const std::array<std::vector<float>, 4>& samples,
                                double intervalUs, const VelocityFields& fields,
                                const std::array<int32_t, kResonanceSettings>& settings);

// The writes that put the first `sets` anti-vibration sets of `settings` into
// the drive: amplitude, phase A, phase B of each, in the drive's order.
std::vector<RegisterWrite> AntiVibrationWrites(const std::array<int32_t, kResonanceSettings>& settings, int sets);

// The one place the vibration assistant changes the drive's settings (RAM
// only; storing is a separate, explicit step): a proposal, or the previous
// sets put back. Ends at the first write the drive does not answer. The
// writes go through the change gate (a backup before the session's first
// change, each one journaled); when the gate refuses, nothing is sent and
// gate says why.
WriteOutcome WriteAntiVibration(ChangeGate& gate, DriveHandle& drive, const std::vector<RegisterWrite>& writes,
                                std::string what = {}, PrepareOptions options = {});

}  // namespace hx::runtest
