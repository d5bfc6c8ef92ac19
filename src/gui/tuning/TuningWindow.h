#pragma once
// The one-button tuning window ("一键整定"): the travel and the stiffness, one
// button that runs the whole sequence (core/tuning/TuneSequence.h) on its
// worker, the stages with progress and Stop, what was identified and set,
// the standard move before and after, the frequency response with its
// margins, notches and coherence, and the last steps: store in the drive,
// or put the previous settings back. Nothing here talks to the drive: the
// core jobs do, and report back through queued calls.

#include <memory>
#include <optional>

#include "core/writes/StorageCommand.h"
#include "core/tuning/TuneSequence.h"
#include "core/util/Job.h"
#include "gui/widgets/FunctionWindow.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace hx::gui {

class FrequencyResponseWindow;
class MoveTraceView;

class TuningWindow : public FunctionWindow {
    Q_OBJECT
public:
    // request: where the job runs (the drive, its port, the model, the
    // guard); the window sets the travel and the stiffness.
    explicit TuningWindow(hx::tuning::TuneRequest request, QWidget* parent = nullptr);
    ~TuningWindow() override;

    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* storeButton() const { return m_store; }
    QPushButton* putBackButton() const { return m_putBack; }
    QListWidget* stageList() const { return m_stages; }
    QLabel* keepNote() const { return m_keepNote; }
    QLabel* summaryLabel() const { return m_summary; }
    FrequencyResponseWindow* bode() const { return m_bode; }
    MoveTraceView* moveTraces() const { return m_moves; }
    const std::optional<hx::tuning::TuneResult>& result() const { return m_result; }
    bool busy() const;
    // Why a run failed, in the user's language: the stage, the reason, and
    // the guard's, the drive's or the gate's own words.
    static QString failureText(const hx::tuning::TuneResult& r);
    // Shows a finished run: what it found and set, its moves and its loops.
    void showResult(const hx::tuning::TuneResult& r);

signals:
    void tuningFinished();
    void storeFinished(bool stored);
    void putBackFinished(bool done);

protected:
    bool canClose() override;

private:
    void start();
    void onStage(int index);
    void onFinished(const hx::tuning::TuneResult& r);
    void store();
    void putBack();
    void setIdle(bool idle);

    hx::tuning::TuneRequest m_request;
    hx::tuning::TuneJob m_job;
    hx::StorageCommandJob m_storeJob;
    hx::Job m_putBackJob;
    std::optional<hx::tuning::TuneResult> m_result;

    QDoubleSpinBox* m_travel = nullptr;
    QComboBox* m_stiffness = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QListWidget* m_stages = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_keepNote = nullptr;
    QPushButton* m_store = nullptr;
    QPushButton* m_putBack = nullptr;
    FrequencyResponseWindow* m_bode = nullptr;
    MoveTraceView* m_moves = nullptr;
    bool m_pausedMotion = false;  // the user paused the simulated motion controller from this window
};

}  // namespace hx::gui
