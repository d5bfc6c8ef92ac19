#include "core/runtest/RunCapture.h"

#include "core/capture/CaptureJob.h"
#include "core/protocol/Registers.h"
#include "core/util/Job.h"  // SleepUnlessStopped

namespace hx::runtest {

RunWait RunWait::ForMode(Mode mode) {
    if (mode == Mode::Torque) return RunWait{30, std::chrono::milliseconds(200), true};
    return RunWait{60, std::chrono::milliseconds(200), false};
}

RunRequest RunRequest::Start(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes, int points,
                             std::vector<RegisterWrite> startWrites) {
    RunRequest r;
    r.drive = drive;
    r.mode = mode;
    r.startWrites = std::move(startWrites);
    r.codes = codes;
    r.points = points;
    r.wait = RunWait::ForMode(mode);
    return r;
}

RunRequest RunRequest::Recapture(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes,
                                 int points) {
    RunRequest r = Start(drive, mode, codes, points, RecaptureWrites());
    r.recapture = true;
    return r;
}

RunEnd EndOf(const RunOutcome& outcome) {
    // The user's stop did not get through: the motor may still run.
    if (outcome.stopRequested && !outcome.stopSent) return RunEnd::StopUnconfirmed;
    switch (outcome.status) {
    case RunStatus::Completed: return RunEnd::Captured;
    case RunStatus::TimedOut: return RunEnd::TimedOut;
    case RunStatus::Closed: return RunEnd::Closed;
    case RunStatus::Refused: return RunEnd::NotStarted;
    case RunStatus::NotBackedUp: return RunEnd::NotBackedUp;
    case RunStatus::NoAnswer:
        // The drive answered and started nothing.
        if (outcome.writes.fault.kind == DriveFaultKind::Refused) return RunEnd::DriveRefused;
        // The start did not get through, and the drive took the stop sent after it.
        if (outcome.writes.unanswered && outcome.safetyStopSent) return RunEnd::StartUnanswered;
        // The motion started (or may have) and the drive fell silent.
        return RunEnd::StopUnconfirmed;
    }
    return RunEnd::StopUnconfirmed;
}

RunOutcome RunOnce(ChangeGate& gate, const RunRequest& request, std::stop_token stop,
                   const std::function<bool()>& takeStopRequest) {
    RunOutcome out;
    out.mode = request.mode;
    out.recapture = request.recapture;
    out.startWrites = request.startWrites;
    out.codes = request.codes;
    out.points = request.points;
    DriveHandle drive = request.drive;

    auto pollStop = [&] {
        if (!takeStopRequest || !takeStopRequest()) return;
        out.stopRequested = true;
        if (Send(drive, StopWrite(request.mode))) out.stopSent = true;
    };

    // The start writes configure and trigger the sampling themselves; the
    // capture path waits and reads the blocks.
    hx::CaptureRequest capture;
    for (int k = 0; k < 4; ++k) capture.codes[k] = static_cast<uint16_t>(request.codes[k]);
    capture.pointsPerChannel = static_cast<uint16_t>(request.points);
    capture.configure = false;
    capture.trigger = false;
    capture.beforeStart = [&](DriveHandle& link, std::stop_token s) {
        // The gains or anti-vibration settings of a start are the user's
        // tuning: backed up before the session's first change and journaled.
        std::optional<ChangeOrigin> origin;
        for (const RegisterWrite& w : request.startWrites)
            if (!origin) origin = TuningOrigin(request.mode, w.address);
        std::optional<ChangeBatch> changes;
        if (origin) {
            changes.emplace(gate, link, *origin, "run test start");
            out.gate = changes->Prepare(s, {}, request.gate);
            if (!out.gate.ok()) {
                out.status = out.gate.status == GateResult::Status::Stopped ? RunStatus::Closed : RunStatus::NotBackedUp;
                return false;
            }
        }
        if (request.beforeStart) {
            out.refusal = request.beforeStart();
            if (!out.refusal.ready()) {
                out.failureText = out.refusal.Message();
                out.status = RunStatus::Refused;
                return false;
            }
        }
        // A stop or close asked for by now (during the checks, the arming or
        // the backup) keeps the whole start back: nothing of a motion the
        // user already ended goes out. The stop itself still does.
        const auto send = [&] {
            pollStop();
            if (out.stopRequested || s.stop_requested()) return false;
            out.writes = SendWrites(link, request.startWrites, changes ? &*changes : nullptr, request.mode);
            return true;
        };
        if (!(request.sendHeld ? request.sendHeld(send) : send())) {
            out.status = RunStatus::Closed;
            return false;
        }
        if (out.writes.journalFailed) {
            // Nothing of the start reached the drive after the failed record;
            // what went before it were settings, not the motion.
            out.gate.status = GateResult::Status::JournalFailed;
            out.gate.message = changes->Error();
            out.status = RunStatus::NotBackedUp;
            return false;
        }
        if (out.writes.unanswered) {
            out.unansweredAddress = out.writes.unanswered;
            out.failureText = link.fault().text;
            // Some of the start may have reached the drive (a lost reply is
            // not a lost request): make sure nothing keeps moving.
            out.safetyStopSent = Send(link, StopWrite(request.mode));
            out.status = RunStatus::NoAnswer;
            return false;
        }
        return true;
    };
    // The wait sends a pending stop between its polls, so a motor is never
    // kept running for the rest of a 12 s wait.
    const RunWait wait = request.wait;
    capture.wait = [&, wait](DriveHandle& link, std::stop_token s) {
        hx::PollPolicy policy;
        policy.polls = wait.polls;
        policy.period = wait.period;
        policy.sleep = [&](std::stop_token t, std::chrono::milliseconds d) {
            const bool slept = SleepUnlessStopped(t, d);
            // The poll before this sleep (or the start's last write) was answered or not.
            if (request.onStep) request.onStep(link.fault().ok());
            pollStop();
            return slept;
        };
        return hx::PollRegister(
            link, reg::kSampleState,
            [&](int16_t v) { return wait.anyPositive ? v > 0 : v == reg::kSampleStateComplete; }, policy, s);
    };
    // A stop asked for while blocks are read goes out after the current block.
    capture.afterBlock = [&](DriveHandle&) {
        if (request.onStep) request.onStep(true);  // a block only goes on after an answered one
        pollStop();
    };

    hx::CaptureResult result = hx::RunCapture(drive, capture, stop);
    switch (result.status) {
    case hx::CaptureStatus::Completed:
        out.status = RunStatus::Completed;
        for (int k = 0; k < 4; ++k)
            if (request.codes[k] != 0) out.samples[k] = std::move(result.samples[k]);
        break;
    case hx::CaptureStatus::NotStarted: break;  // the start step said why
    case hx::CaptureStatus::Stopped: out.status = RunStatus::Closed; break;
    case hx::CaptureStatus::TimedOut: out.status = RunStatus::TimedOut; break;
    case hx::CaptureStatus::NoAnswer:
        out.status = RunStatus::NoAnswer;
        out.unansweredAddress = reg::kSampleState;
        out.failureText = drive.fault().text;
        break;
    case hx::CaptureStatus::Failed:
        out.status = RunStatus::NoAnswer;
        out.unansweredAddress = result.failedBlock.address;
        out.failureText = drive.fault().text;
        break;
    }
    pollStop();  // a stop asked for at the last moment still goes out
    return out;
}

}  // namespace hx::runtest
