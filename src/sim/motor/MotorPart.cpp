#include "sim/motor/MotorPart.h"

#include <algorithm>
#include <cmath>

#include "sim/parts/ParameterStore.h"

namespace hx::sim {
namespace {

// How far behind the clock the motor may fall before it skips ahead, and
// how long it then runs to come to the present: long enough for the loops
// to settle into the command's motion.
constexpr SimTime kLongestCatchUp = std::chrono::seconds(2);
constexpr SimTime kSettleRun = std::chrono::milliseconds(300);

}  // namespace

MotorPart::MotorPart(MotorParameters parameters, MachineSpec machine, unsigned seed)
    : m_model(parameters, std::move(machine), seed) {
    m_model.Settle(0, 0);
}

void MotorPart::UseParameters(const ParameterStore& store, hx::servo::Model model) {
    m_store = &store;
    m_servoModel = model;
    ReadParameters();
}

void MotorPart::ReadParametersNow() {
    if (m_store && m_store->RamRevision() != m_parametersRead) ReadParameters();
}

void MotorPart::ReadParameters() {
    m_parametersRead = m_store->RamRevision();
    hx::servo::Words words = hx::servo::FactoryWords(m_servoModel);
    for (int p = 0; p < hx::servo::kParamCount; ++p)
        if (const auto address = hx::servo::Address(m_servoModel, static_cast<hx::servo::Param>(p)))
            words[static_cast<size_t>(p)] = static_cast<int16_t>(m_store->Ram(*address));
    m_words = words;
    m_model.SetServo(hx::servo::Decode(words));
}

void MotorPart::SetMotion(std::unique_ptr<MotionSource> source) {
    m_source = std::move(source);
    m_externalCommanding = false;
    m_sourceStart = m_time;
    m_sourceOrigin = m_model.Feedback();
    // Start from where the motor was told to be, or where it stands after a
    // speed or current command.
    if (m_last.mode == RunMode::Velocity || m_last.mode == RunMode::Current)
        m_last.position = std::round(m_sourceOrigin.positionPulses);
    m_sourceOrigin.positionPulses = m_last.position;
}

void MotorPart::SetExternalMotion(std::unique_ptr<MotionSource> source) {
    m_external = std::move(source);
    m_externalCommanding = false;
}

void MotorPart::PauseExternalMotion(bool paused) { m_externalPaused = paused; }

void MotorPart::HoldWhereItIs() {
    m_source.reset();
    m_externalCommanding = false;
    m_last.mode = RunMode::Holding;
    m_last.position = std::round(m_model.Feedback().positionPulses);
    m_last.velocity = 0;
}

MotionCommand MotorPart::Command() {
    if (m_source) {
        const SimTime since = m_time - m_sourceStart;
        if (!m_source->Finished(since)) {
            m_last = m_source->At(since, m_sourceOrigin);
            return m_last;
        }
        m_source.reset();
        // After a speed or current command there is no position to go back
        // to: the motor holds where it stopped.
        if (m_last.mode == RunMode::Velocity || m_last.mode == RunMode::Current)
            m_last.position = std::round(m_model.Feedback().positionPulses);
        m_last.mode = RunMode::Holding;
    }
    if (m_external && (!m_externalPaused || m_externalCommanding)) {
        if (!m_externalCommanding) {
            // Pulses start again from where the motor was told to be.
            m_externalCommanding = true;
            m_externalStart = m_time;
            m_externalOrigin = m_model.Feedback();
            m_externalOrigin.positionPulses = m_last.position;
        }
        const MotionCommand c = m_external->At(m_time - m_externalStart, m_externalOrigin);
        // A paused controller stops once its pulses have come to rest.
        if (!m_externalPaused || c.velocity != 0) {
            m_last = c;
            return m_last;
        }
        m_externalCommanding = false;
        m_last.mode = RunMode::Holding;
        m_last.velocity = 0;
    }
    MotionCommand hold;
    hold.mode = RunMode::Holding;
    hold.position = m_last.position;
    return hold;
}

void MotorPart::RunUntil(SimTime end) {
    while (m_time + kTick <= end) {
        if (m_store && m_store->RamRevision() != m_parametersRead) ReadParameters();
        m_model.Step(Command());
        m_time += kTick;
        ++m_ticksRun;
        for (auto* tap : m_taps) tap->OnTick(m_time, m_model);
    }
}

void MotorPart::Advance(SimTime now) {
    if (now - m_time > kLongestCatchUp) {
        SimTime needed = m_time;
        for (auto* tap : m_taps)
            if (auto until = tap->ListensUntil()) needed = std::max(needed, *until);
        if (needed + kLongestCatchUp < now) {
            // Run what a recording needs, then jump to shortly before now,
            // placed where the command wants the motor, and let the loops
            // take it from there.
            RunUntil(needed + kTick);
            const SimTime resume = now - kSettleRun;
            m_time = resume - resume % kTick;
            const MotionCommand c = Command();
            m_model.Settle(c.position, c.mode == RunMode::Position ? c.velocity : 0);
        }
    }
    RunUntil(now);
}

}  // namespace hx::sim
