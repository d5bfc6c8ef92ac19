#pragma once
// The resonance-adjustment page: the thirteen anti-vibration settings, each
// with a slider and an edit box kept in step. A setting goes to the drive
// when its slider is released or Enter is pressed in its edit box, running
// or not, so the effect shows in the next cyclic capture.
//
// After each run the vibration assistant shows how the machine rang after
// the move and proposes the 1st set that cancels it; "apply and run again"
// puts the proposal into the settings, runs the same move again and shows
// the figures before and after side by side. Where more than a fifth still
// rings, a second pass gives what is left sets of its own that hold over
// +-20 % of its frequency and runs once more; they stay only where that run
// rings less. "Put back" writes the sets the run before the proposal
// started with (RAM, as the proposal was).

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <optional>

#include "core/analysis/Vibration.h"
#include "core/runtest/RunFields.h"
#include "core/runtest/VibrationTuning.h"
#include "core/tuning/RobustShaping.h"
#include "core/writes/StorageCommand.h"
#include "gui/runtest/RunPage.h"

namespace hx::gui {

class CResonateAdjust : public RunPage {
    Q_OBJECT
public:
    CResonateAdjust(RunPageHost* host, QWidget* parent = nullptr);
    ~CResonateAdjust() override;

    // Reads the thirteen settings (on the request queue) into the sliders.
    void LoadFromDrive() override;
    std::optional<hx::runtest::RunRequest> StartRun(const std::array<uint32_t, 4>& codes, int points) override;
    void TakeStartResult(const hx::runtest::RunOutcome& outcome) override;
    int SampleInterval() const override { return m_fields.sampleInterval; }

    const hx::runtest::ResonanceFields& Fields() const { return m_fields; }
    QSlider* slider(int i) const { return m_sliders[i]; }
    QLineEdit* edit(int i) const { return m_edits[i]; }
    QComboBox* intervalList() const { return m_interval; }
    // The trapezoid a start runs, as the drive holds it.
    QLabel* trapezoidLabel() const { return m_trapezoid; }
    int loads() const { return m_loads; }
    int writesAnswered() const { return m_writesAnswered; }

    // The assistant: a resonance run's capture has been plotted.
    void TakeCapture(const hx::runtest::RunOutcome& outcome);
    // Puts the proposal into the settings and runs again.
    void ApplyAndRunAgain();
    // Writes the sets the run before the proposal had.
    void PutBack();
    QPushButton* applyButton() const { return m_apply; }
    QPushButton* putBackButton() const { return m_putBack; }
    QLabel* assistantText() const { return m_assistant; }
    // After the assistant's set was applied: it is in RAM only; "保存驱动器参数" stores it.
    QLabel* ramNote() const { return m_ramNote; }
    QPushButton* storeButton() const { return m_store; }
    void StoreInDrive();

signals:
    // The store asked for from the page has ended.
    void stored(bool succeeded);

public:
    const std::optional<hx::runtest::RunVibration>& lastVibration() const { return m_last; }
    const std::optional<hx::runtest::RunVibration>& vibrationBefore() const { return m_before; }
    const hx::analysis::VibrationProposal& proposal() const { return m_proposal; }
    // The second pass of the last proposal applied, where one ran, and
    // whether it stayed.
    const std::optional<hx::tuning::SecondPass>& secondPass() const { return m_secondPass; }
    bool secondPassKept() const { return m_secondPassKept; }
    // The trapezoid the drive holds, read when the mode is entered (what a
    // start runs); trapezoidRead() false when the drive did not answer.
    const hx::runtest::VelocityFields& trapezoid() const { return m_trapezoidFields; }
    bool trapezoidRead() const { return m_trapezoidRead; }

    // What Enter does on the page (whichever control has the focus).
    void OnEnter();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The edits into the fields; returns the first edit holding no integer
    // (which keeps its field's value), -1 when every one held one.
    int TakeFields();
    // TakeFields, refusing with a message when an edit holds no integer.
    bool TakeFieldsToUse();
    void ShowFields();
    bool Validate();  // false after the message, with the field and slider at 0
    void WriteSetting(int i);
    void OnSliderMoved(int i, int position);
    void OnSliderReleased(int i);
    void ShowAssistant();
    void ShowStoreOffer(bool shown);
    void ShowTrapezoid(const std::optional<hx::runtest::VelocityFields>& trapezoid);
    // Puts settings into the fields and sliders and runs the move again once
    // the ringing of the run just taken has died away.
    void RunAgainWith(const std::array<int32_t, hx::runtest::kResonanceSettings>& settings);
    // After the run with the first proposal: the second pass, where one is due.
    bool StartSecondPass();
    // After the second pass's run: the first pass's sets back where it rang no less.
    void JudgeSecondPass();

    hx::runtest::ResonanceFields m_fields;
    std::array<QSlider*, hx::runtest::kResonanceSettings> m_sliders{};
    std::array<QLineEdit*, hx::runtest::kResonanceSettings> m_edits{};
    QComboBox* m_interval;
    QLabel* m_assistant;
    QPushButton* m_apply;
    QPushButton* m_putBack;
    QLabel* m_ramNote;
    QPushButton* m_store;
    // The store of the drive's parameters; stopped and joined before the page goes.
    hx::StorageCommandJob m_storeJob;
    hx::runtest::VelocityFields m_trapezoidFields;
    bool m_trapezoidRead = false;
    // The settings the last run started with.
    std::array<int32_t, hx::runtest::kResonanceSettings> m_runSettings{};
    std::optional<hx::runtest::RunVibration> m_last, m_before;
    hx::analysis::VibrationProposal m_proposal;
    // The settings before the proposal went in: the way back.
    std::optional<std::array<int32_t, hx::runtest::kResonanceSettings>> m_previous;
    // What the next capture is: the run again after a proposal, or after its second pass.
    enum class Awaiting { Nothing, FirstPass, SecondPass };
    Awaiting m_awaiting = Awaiting::Nothing;
    hx::analysis::VibrationProposal m_applied;  // the proposal the first pass wrote
    std::optional<hx::runtest::RunVibration> m_afterFirst;
    std::array<int32_t, hx::runtest::kResonanceSettings> m_firstSettings{};
    std::optional<hx::tuning::SecondPass> m_secondPass;
    bool m_secondPassKept = false;
    double m_secondPassRang = 0;  // the peak-to-peak of the second pass's run
    int m_lastPoints = 0;  // of the last run's capture
    QLabel* m_trapezoid;
    int m_loads = 0;
    int m_writesAnswered = 0;
};

}  // namespace hx::gui
