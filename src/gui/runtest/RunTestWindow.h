#pragma once
// The run-test window: runs the motor in a test mode (velocity trapezoid,
// current-loop test, resonance adjustment) while the drive records up to
// four signals, plots them, and repeats the capture cyclically.
//
// Every drive request goes through the window's run session: single
// requests on its queue, captures on its worker. The session keeps a started
// motion under control (stop retries, the drive's watchdog fed); the window
// shows its state and forwards the clicks. Closing stops the motion, ends
// and joins the capture, and only then frees the pages.

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

#include "core/runtest/RunSession.h"
#include "core/runtest/StepResponse.h"
#include "gui/runtest/RunPage.h"
#include "gui/widgets/FunctionWindow.h"

namespace hx::gui {

class Cscope;
class CVelocityMode;
class CTorqueMode;
class CResonateAdjust;

class CRunTest : public FunctionWindow, public RunPageHost {
    Q_OBJECT
public:
    // gate: the program's change gate (the tuning settings of a start and
    // the pages' settings go through it).
    // drive: the connection's drive, the one the window runs.
    CRunTest(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent = nullptr);
    ~CRunTest() override;
    // The classic size: plot, figures, page and the assistant's lines whole.
    QSize sizeHint() const override { return QSize(1180, 700).expandedTo(minimumSizeHint()); }

    // RunPageHost
    hx::DriveHandle Drive() const override { return m_drive; }
    hx::ChangeGate& Gate() const override { return m_gate; }
    void Request(std::function<void()> work, std::function<void()> done) override;
    void ReportNoAnswer(uint16_t address) override;
    void RunAgain(int restMs, bool keepOldReference) override;

    hx::runtest::Mode mode() const { return m_mode; }
    bool running() const { return m_session->Running(); }  // the start button reads "停 止"
    // Stops the run (best effort) and ends the capture; used before the
    // port closes (exit, debug tool) as well as by closing.
    void StopEverything();

    // Mode buttons, as a click does.
    void enterVelocityMode();
    void enterTorqueMode();
    void enterResonanceMode();
    void clickStart();

    CVelocityMode* velocityPage() const { return m_velocity; }
    CTorqueMode* torquePage() const { return m_torque; }
    CResonateAdjust* resonancePage() const { return m_resonance; }
    Cscope* plot() const { return m_plot; }
    QPushButton* startButton() const { return m_start; }
    QComboBox* channelList(int i) const { return m_lists[i]; }
    QCheckBox* channelBox(int i) const { return m_boxes[i]; }
    QCheckBox* cyclicBox() const { return m_cyclic; }
    QComboBox* periodList() const { return m_period; }
    QComboBox* pointsList() const { return m_points; }
    QLabel* figuresLabel() const { return m_figures; }
    int capturesShown() const { return m_capturesShown; }
    // The figures of the last current-loop test shown.
    const std::optional<hx::runtest::StepFigures>& lastStepFigures() const { return m_lastStep; }
    const std::optional<hx::runtest::StepFigures>& previousStepFigures() const { return m_previousStep; }
    // True once the reads made at opening have come back.
    bool opened() const { return m_openingDone; }
    // True when every read asked of the drive (lists, capacity) is shown.
    bool settled() const { return m_requestsOut == 0; }
    // The link failed while a motion of this window may run: the stop goes
    // out every 500 ms until the drive takes it, "停 止" stays meanwhile.
    // As shown (the session's state reaches the window a moment later).
    bool stopUnconfirmed() const { return m_shownState == hx::runtest::RunState::StopUnconfirmed; }
    QLabel* lostLabel() const { return m_lost; }

protected:
    bool canClose() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const hx::DriveHandle m_drive;
    hx::ChangeGate& m_gate;
    void EnterMode(hx::runtest::Mode mode);
    void ApplySources(int mask, int channelCount);
    // The mode's empty plot, captions and axis, without another mode's figures.
    void ShowEmptyPlot();
    void FillPointsList();
    std::array<uint32_t, 4> ChannelCodes();
    // keepCurves: a cyclic re-capture, whose curves replace the shown ones
    // when they arrive (the plot neither blanks nor leaves the user's zoom).
    void SetUpPlot(bool firstTorqueCapture, bool keepCurves = false);
    void StartRun(hx::runtest::RunRequest request);
    // The start button and the red line as the session's state says.
    void ShowState();
    void OnCaptureFinished(const hx::runtest::RunOutcome& outcome);
    void OnRecaptureTimer();
    void ShowFigures(const hx::runtest::RunOutcome& outcome);
    void ColourList(int channel);
    // Starts the run asked for by RunAgain once the last capture has ended.
    void StartWhenIdle();
    void ReportRefusal(uint16_t address, const hx::DriveFault& fault);
    // At closing: the simulated motion controller goes on (asked when this
    // window did not pause it).
    void ResumeSimulatedMotion();
    RunPage* currentPage() const;

    std::unique_ptr<hx::runtest::RunSession> m_session;
    hx::runtest::Mode m_mode = hx::runtest::Mode::Torque;
    int m_capacity = 0;
    int m_pointsPerChannel = 200;
    // The points per channel of the capture the plot shows.
    int m_plotPoints = 200;
    bool m_openingDone = false;
    int m_requestsOut = 0;  // Request()s whose answer the window has not shown yet
    bool m_closing = false;
    bool m_noAnswerShown = false;
    int m_capturesShown = 0;
    bool m_runAgainPending = false;
    int m_runAgainRestMs = 0;
    bool m_replacePlot = false;
    bool m_pausedMotion = false;  // the user paused the simulated motion controller from this window
    std::optional<hx::runtest::StepFigures> m_lastStep;
    // The step before the last one shown (the torque page's reference).
    std::optional<hx::runtest::StepFigures> m_previousStep;
    hx::runtest::RunState m_shownState = hx::runtest::RunState::Idle;

    Cscope* m_plot;
    // Channel colours, shown behind the channel lists; the plot's curves start the same.
    std::array<QColor, 4> m_colours{QColor(255, 0, 0), QColor(0, 128, 255), QColor(255, 128, 0), QColor(255, 255, 0)};
    QStackedWidget* m_pages;
    CVelocityMode* m_velocity;
    CTorqueMode* m_torque;
    CResonateAdjust* m_resonance;
    QPushButton *m_velocityButton, *m_torqueButton, *m_resonanceButton, *m_start;
    QWidget* m_channelGroup;
    std::array<QCheckBox*, 4> m_boxes{};
    std::array<QComboBox*, 4> m_lists{};
    QCheckBox* m_cyclic;
    QComboBox* m_period;
    QLabel* m_periodLabel;
    QComboBox* m_points;
    QLabel* m_figures;
    QLabel* m_lost;
    QTimer m_enableTimer, m_recaptureTimer;
};

}  // namespace hx::gui
