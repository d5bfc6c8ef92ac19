#pragma once
// The waveform window: the user picks up to four drive signals, the drive
// captures them with its own sampling engine, and the window fetches and
// plots them, once or cyclically. The last capture is kept as a recording
// that can be saved, loaded and exported as CSV.
//
// The capture runs as a core job on a worker thread. The job gets the codes,
// points and interval when it starts; the window reads its own controls only
// on the UI thread, and the busy state is the job's, held here while a
// capture runs so that start, load and close are refused meanwhile.
// The file commands (save, load, exports, reference) are in
// DisplayWaveformFiles.cpp.

#include <QColor>
#include <array>
#include <optional>

#include "core/capture/CaptureJob.h"
#include "core/capture/WaveRecording.h"
#include "core/util/Job.h"
#include "gui/widgets/FunctionWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;
class QToolButton;

namespace hx::gui {

class Cscope;

class CDisplayWaveform : public FunctionWindow {
    Q_OBJECT
public:
    // drive: the connection's drive, whose signals the window captures.
    explicit CDisplayWaveform(const hx::DriveHandle& drive, QWidget* parent = nullptr);
    ~CDisplayWaveform() override;

    // A capture is on its way (started and not yet handed over).
    bool sampleBusy() const { return m_busy; }
    // The drive's limits have been read and the lists filled.
    bool ready() const { return m_ready; }

    // The window's operations, as the buttons and timers reach them.
    int FillPointsList();
    void ReadSampleSettings();
    void ReadChannelSelection();
    void OnStartStop();
    void OnSave();
    void OnLoad();
    // Reads a .wave file as the plot's reference.
    void OnLoadReference();
    void OnExportCsv();
    // The table for a spreadsheet (time, named channels, signed values).
    void OnExportTableCsv();

    // Blocks a capture with the current choices takes, and the estimated
    // time to fetch them at the port's speed (milliseconds).
    int EstimatedFetchMs() const;

    // Controls, for the tests and the main frame.
    Cscope* scope() const { return m_scope; }
    QComboBox* channelList(int k) const { return m_channel[k]; }
    QCheckBox* channelCheck(int k) const { return m_check[k]; }
    QCheckBox* recordCheck() const { return m_record; }
    QCheckBox* cyclicCheck() const { return m_cyclic; }
    QComboBox* periodList() const { return m_period; }
    QLabel* periodLabel() const { return m_periodLabel; }
    QComboBox* intervalList() const { return m_interval; }
    QComboBox* pointsList() const { return m_points; }
    QPushButton* startButton() const { return m_start; }
    QToolButton* loadButton() const { return m_load; }
    QToolButton* saveButton() const { return m_save; }
    QToolButton* csvButton() const { return m_csv; }
    QProgressBar* progressBar() const { return m_progress; }
    QLabel* estimateLabel() const { return m_estimate; }
    QTimer* cycleTimer() const { return m_cycleTimer; }
    const hx::WaveRecording& recording() const { return m_recording; }
    const std::array<int32_t, 4>& channelCodes() const { return m_codes; }
    int16_t samplingInterval() const { return m_intervalUs; }
    int16_t capacity() const { return m_capacity; }
    QColor channelColour(int k) const { return m_colours[k]; }

    // Captures handed over and plotted so far (tests count cyclic runs).
    int capturesPlotted() const { return m_capturesPlotted; }

    static constexpr int kCycleTimerId = 4;

signals:
    // A capture has been asked of the drive.
    void sampleStarted();
    // A capture's buffers are in the window (the classic "sample done").
    void sampleDone();
    // A loaded recording is in the buffers (the classic "show loaded").
    void showLoaded();

protected:
    bool canClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const hx::DriveHandle m_drive;
    void buildControls();
    // The points per channel of what the plot shows or the next capture takes.
    void setPointsPerChannel(uint16_t points);
    void readDriveLimits();
    void onLimitsRead(bool answered, const hx::SamplingLimits& limits);
    // The start button's caption follows the state: "停 止" while running.
    void setRunning(bool running);
    void onStartSampling();
    void startAcquisition();
    void onCaptureProgress(int done, int total);
    void onCaptureFinished(const hx::CaptureResult& result);
    void plotSamples(const hx::CaptureResult& result);
    void onCycleTimer();
    // Asks where to write the recording and writes it with `write`; an empty
    // recording, a .wave path too short to be a name, and a failure are told.
    using RecordingWriter = bool (*)(const std::string&, const hx::WaveRecording&, std::string*);
    void writeRecording(const QString& title, const QString& suffix, RecordingWriter write);
    // Asks for a .wave file and reads it; nullopt after a cancel or the message saying why not.
    std::optional<hx::WaveRecording> askWaveFile(const QString& title);
    void showRecordedWindow(int start, int count);
    void plotShown();
    void selectChannelsFromCodes();
    void colourChannelList(int k);
    void onChannelColour(int channel, const QColor& colour);
    void updateEstimate();
    void showBusy();

    Cscope* m_scope = nullptr;
    std::array<QComboBox*, 4> m_channel{};
    std::array<QCheckBox*, 4> m_check{};
    QCheckBox* m_record = nullptr;
    QCheckBox* m_cyclic = nullptr;
    QLabel* m_periodLabel = nullptr;
    QComboBox* m_period = nullptr;
    QComboBox* m_interval = nullptr;
    QComboBox* m_points = nullptr;
    QPushButton* m_start = nullptr;
    QToolButton* m_load = nullptr;
    QToolButton* m_save = nullptr;
    QToolButton* m_csv = nullptr;
    QScrollBar* m_scroll = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_estimate = nullptr;
    QTimer* m_cycleTimer = nullptr;

    std::array<int32_t, 4> m_codes{};
    std::array<QColor, 4> m_colours;
    hx::WaveRecording m_recording;
    hx::RecordedWindow m_shown;
    int16_t m_intervalUs = 100;
    uint16_t m_pointsPerChannel = 200;
    int32_t m_totalTime = 0;
    int16_t m_capacity = 0;
    int m_sourceCount = 0;
    // The user started captures and has not stopped them (a single capture
    // keeps this until the button is pressed again); m_busy is the capture
    // on its way.
    bool m_running = false;
    bool m_busy = false;
    bool m_ready = false;
    bool m_closing = false;
    int m_capturesPlotted = 0;
    // The cycle timer started this capture...
    bool m_repeating = false;
    // ...and it takes the same series as the one shown: the shown curves stay
    // until the new ones replace them, at the same zoom and width.
    bool m_replacing = false;

    hx::CaptureJob m_job;
    hx::Job m_limitsJob;
};

}  // namespace hx::gui
