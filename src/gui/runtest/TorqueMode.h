#pragma once
// The current-loop test page: the drive's current-loop gains, its PI
// auto-tuning switch and the test current of the step.

#include <QCheckBox>
#include <QLineEdit>

#include "core/runtest/RunFields.h"
#include "gui/runtest/RunPage.h"

namespace hx::gui {

class CTorqueMode : public RunPage {
    Q_OBJECT
public:
    CTorqueMode(RunPageHost* host, QWidget* parent = nullptr);

    // Reads 13, 15, 16 and 17 (on the request queue) and shows them.
    void LoadFromDrive() override;
    std::optional<hx::runtest::RunRequest> StartRun(const std::array<uint32_t, 4>& codes, int points) override;
    void TakeStartResult(const hx::runtest::RunOutcome& outcome) override;
    int SampleInterval() const override;

    const hx::runtest::TorqueFields& Fields() const { return m_fields; }
    // Times the drive's gains have arrived (tests wait on it).
    int loads() const { return m_loads; }
    QCheckBox* autoTuneBox() const { return m_autoTune; }
    QLineEdit* kpEdit() const { return m_kp; }
    QLineEdit* kiEdit() const { return m_ki; }
    QLineEdit* kcEdit() const { return m_kc; }
    QLineEdit* currentEdit() const { return m_current; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFields();
    bool TakeFields();
    void OnAutoTuneClicked();

    hx::runtest::TorqueFields m_fields;
    int m_loads = 0;
    QCheckBox* m_autoTune;
    QLineEdit *m_kp, *m_ki, *m_kc, *m_current;
};

}  // namespace hx::gui
