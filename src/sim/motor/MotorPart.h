#pragma once
// The motor as a part of the drive: runs the motor model on the drive's
// clock, tick by tick, under the command of the current motion source, and
// lets signal taps (the sampling and spectrum engines) look at every tick.
//
// It advances lazily: nothing runs between requests, and a request catches
// the motor up with the clock. After a long quiet stretch with no tap
// listening (or after the last tick a tap needs), the motor is placed where
// its command has it and only the last moments are run, so a drive left
// alone for an hour answers its next request at once and costs nothing
// meanwhile.

#include <memory>
#include <vector>

#include "core/protocol/ServoParameters.h"
#include "sim/bus/Part.h"
#include "sim/motor/MotionSource.h"
#include "sim/motor/MotorModel.h"

namespace hx::sim {

class MotorModel;
class ParameterStore;

// Something that looks at the motor on every control tick.
class SignalTap {
public:
    virtual ~SignalTap() = default;
    // After the tick that ends at `time`.
    virtual void OnTick(SimTime time, MotorModel& motor) = 0;
    // While it records: the time up to which it needs every tick, so the
    // motor does not skip them; nothing when it does not record.
    virtual std::optional<SimTime> ListensUntil() const = 0;
};

class MotorPart final : public Part {
public:
    static constexpr SimTime kTick = std::chrono::microseconds(50);

    explicit MotorPart(MotorParameters parameters = {}, MachineSpec machine = {.lowHz = 0}, unsigned seed = 1);

    // The loops run on the drive's parameters in the store's RAM, laid out
    // as the model has them: a write takes effect on the next tick. A drive
    // reads them from RAM on every tick; here each tick asks the store
    // whether RAM changed (one comparison) and decodes it again only then,
    // which is the same and costs nothing on the ticks in between. Without
    // a store the loops keep the factory settings.
    void UseParameters(const ParameterStore& store, hx::servo::Model model);
    // Takes up a change of the parameters before the next tick would (for
    // the loop's truth, asked for between ticks).
    void ReadParametersNow();
    // The loop parameters' words as the loops last read them.
    const hx::servo::Words& ServoWords() const { return m_words; }

    std::string_view Name() const override { return "motor"; }
    std::vector<AddressRange> Ranges() const override { return {}; }
    uint8_t Read(uint16_t, uint16_t&) override { return mbex::kIllegalAddress; }
    void Write(uint16_t, uint16_t, const WriteRequest&) override {}
    void Advance(SimTime now) override;

    // A new motion source from the current tick on (null: hold where the
    // motor was last commanded). It takes over from the external motion.
    void SetMotion(std::unique_ptr<MotionSource> source);
    // The pulse input: a motion controller outside the drive. It commands
    // the motor whenever no motion of the drive's own does. Paused, the
    // controller finishes the move it is in and then sends nothing; resumed,
    // it starts again from where the motor stands.
    void SetExternalMotion(std::unique_ptr<MotionSource> source);
    void PauseExternalMotion(bool paused);
    bool ExternalMotionPaused() const { return m_externalPaused; }
    // Whether the controller may move the motor: present and not paused (or
    // still finishing its move after a pause).
    bool ExternalMotionActive() const { return m_external && (!m_externalPaused || m_externalCommanding); }
    // Ends any motion and holds the motor where it stands now, as a drive
    // does when an alarm stops it: the following error goes to zero.
    void HoldWhereItIs();
    bool MotionFinished() const { return !m_source; }
    // The source commanding the motor now; null when it holds.
    const MotionSource* Source() const { return m_source.get(); }
    void AddTap(SignalTap& tap) { m_taps.push_back(&tap); }

    MotorModel& Model() { return m_model; }
    // The command of the last tick run (where the motor should be).
    const MotionCommand& LastCommand() const { return m_last; }
    SimTime Time() const { return m_time; }
    // Control ticks run so far: what the motor has cost.
    uint64_t TicksRun() const { return m_ticksRun; }

private:
    MotionCommand Command();
    void RunUntil(SimTime end);
    void ReadParameters();

    MotorModel m_model;
    const ParameterStore* m_store = nullptr;
    hx::servo::Model m_servoModel = hx::servo::Model::Krv4;
    uint64_t m_parametersRead = 0;  // the store's RAM revision the loops hold
    hx::servo::Words m_words = hx::servo::FactoryWords(hx::servo::Model::Krv4);
    std::unique_ptr<MotionSource> m_source;
    SimTime m_sourceStart{0};
    MotorFeedback m_sourceOrigin;
    std::unique_ptr<MotionSource> m_external;
    bool m_externalPaused = false;
    bool m_externalCommanding = false;  // the controller's pulses command the motor now
    SimTime m_externalStart{0};
    MotorFeedback m_externalOrigin;
    MotionCommand m_last;  // the command of the last tick; held when a source ends
    std::vector<SignalTap*> m_taps;
    SimTime m_time{0};
    uint64_t m_ticksRun = 0;
};

}  // namespace hx::sim
