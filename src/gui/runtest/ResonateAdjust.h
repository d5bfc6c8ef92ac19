#pragma once
// The resonance-adjustment page: the thirteen anti-vibration settings, each
// with a slider and an edit box kept in step. A setting goes to the drive
// when its slider is released or Enter is pressed in its edit box, running
// or not, so the effect shows in the next cyclic capture.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <array>

#include "core/runtest/RunFields.h"
#include "gui/runtest/RunPage.h"

namespace hx::gui {

class CResonateAdjust : public RunPage {
    Q_OBJECT
public:
    CResonateAdjust(RunPageHost* host, QWidget* parent = nullptr);

    // Reads the thirteen settings (on the request queue) into the sliders.
    void LoadFromDrive() override;
    std::optional<hx::runtest::CaptureRequest> StartRun(const std::array<uint32_t, 4>& codes, int points) override;
    void TakeStartResult(const hx::runtest::CaptureOutcome& outcome) override;
    int SampleInterval() const override { return m_fields.sampleInterval; }

    const hx::runtest::ResonanceFields& Fields() const { return m_fields; }
    QSlider* slider(int i) const { return m_sliders[i]; }
    QLineEdit* edit(int i) const { return m_edits[i]; }
    QComboBox* intervalList() const { return m_interval; }
    // The trapezoid a start runs, as the drive holds it.
    QLabel* trapezoidLabel() const { return m_trapezoid; }
    int loads() const { return m_loads; }
    int writesAnswered() const { return m_writesAnswered; }

    // What Enter does on the page (whichever control has the focus).
    void OnEnter();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TakeFields();
    void ShowFields();
    bool Validate();  // false after the message, with the field and slider at 0
    void WriteSetting(int i);
    void OnSliderMoved(int i, int position);
    void OnSliderReleased(int i);
    void ShowTrapezoid(const std::optional<hx::runtest::VelocityFields>& trapezoid);

    hx::runtest::ResonanceFields m_fields;
    std::array<QSlider*, hx::runtest::kResonanceSettings> m_sliders{};
    std::array<QLineEdit*, hx::runtest::kResonanceSettings> m_edits{};
    QComboBox* m_interval;
    QLabel* m_trapezoid;
    int m_loads = 0;
    int m_writesAnswered = 0;
};

}  // namespace hx::gui
