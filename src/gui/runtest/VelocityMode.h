#pragma once
// The velocity-trapezoid page: speed, distance, acceleration, dwell, runs,
// back-and-forth, direction and the sampling interval of a test move.

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "core/runtest/RunFields.h"
#include "gui/runtest/RunPage.h"

namespace hx::gui {

class CVelocityMode : public RunPage {
    Q_OBJECT
public:
    CVelocityMode(RunPageHost* host, QWidget* parent = nullptr);

    void LoadFromDrive() override;  // shows the page's own fields; the drive is not read
    std::optional<hx::runtest::RunRequest> StartRun(const std::array<uint32_t, 4>& codes, int points) override;
    void TakeStartResult(const hx::runtest::RunOutcome& outcome) override;
    int SampleInterval() const override { return m_fields.sampleInterval; }

    const hx::runtest::VelocityFields& Fields() const { return m_fields; }
    QLineEdit* speedEdit() const { return m_speed; }
    QLineEdit* distanceEdit() const { return m_distance; }
    QLineEdit* accelerationEdit() const { return m_acceleration; }
    QLineEdit* dwellEdit() const { return m_dwell; }
    QLineEdit* runsEdit() const { return m_runs; }
    QRadioButton* reverseButton() const { return m_reverse; }
    QComboBox* intervalList() const { return m_interval; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFields();
    bool TakeFields();  // false (after the message) when an edit holds no number

    hx::runtest::VelocityFields m_fields;
    QLineEdit *m_speed, *m_distance, *m_acceleration, *m_dwell, *m_runs;
    QRadioButton *m_backNo, *m_backYes, *m_reverse, *m_forward;
    QComboBox* m_interval;
};

}  // namespace hx::gui
