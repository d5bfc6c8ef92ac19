#pragma once
// The frequency-analysis window: asks the drive for the spectrum it computes
// itself, waits until it is ready, fetches the bins and plots them as one
// curve of amplitude over frequency, scaled to what lies above the motion
// (or in decibels), with the highest peaks listed beside the plot. Several
// requests may be averaged.
//
// The request runs as a core job on a worker thread. The start button stays
// disabled until that job has ended (and at least the classic two seconds),
// so two requests never share the link; closing stops and joins the job
// before anything it writes into goes away.

#include <QElapsedTimer>

#include <vector>

#include "core/analysis/SpectrumPeaks.h"
#include "core/capture/SpectrumJob.h"
#include "gui/widgets/FunctionWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTreeWidget;
class QGroupBox;
class QProgressBar;
class QPushButton;
class QTimer;

namespace hx::gui {

class Cscope;

class CFFTAnalyze : public FunctionWindow {
    Q_OBJECT
public:
    // drive: the connection's drive, whose spectrum the window reads.
    explicit CFFTAnalyze(const hx::DriveHandle& drive, QWidget* parent = nullptr);
    ~CFFTAnalyze() override;

    void OnStart();
    bool busy() const { return m_job.running() || m_fetching; }

    Cscope* scope() const { return m_scope; }
    QPushButton* startButton() const { return m_start; }
    QComboBox* frequencyList() const { return m_frequency; }
    QComboBox* pointsList() const { return m_pointsList; }
    QGroupBox* settingsGroup() const { return m_settings; }
    QProgressBar* progressBar() const { return m_progress; }
    QCheckBox* decibelsBox() const { return m_decibels; }
    QSpinBox* averagesBox() const { return m_averages; }
    QTreeWidget* peakList() const { return m_peakList; }
    QLabel* resonanceLabel() const { return m_resonance; }
    int spectraPlotted() const { return m_plotted; }
    // The magnitudes last fetched (averaged) and what was read from them.
    const std::vector<float>& magnitudes() const { return m_magnitudes; }
    const hx::analysis::SpectrumAnalysis& analysis() const { return m_analysis; }

    static constexpr int kButtonHoldMs = 2000;

signals:
    // A spectrum has been plotted.
    void spectrumShown();

protected:
    bool canClose() override;

private:
    const hx::DriveHandle m_drive;
    void onProgress(int done, int total);
    void onFinished(const hx::SpectrumResult& result);
    void maybeEnableStart();
    // Plots the magnitudes as the dB box asks and lists the peaks.
    void showSpectrum();

    Cscope* m_scope = nullptr;
    QPushButton* m_start = nullptr;
    QGroupBox* m_settings = nullptr;
    QComboBox* m_frequency = nullptr;
    QComboBox* m_pointsList = nullptr;
    QProgressBar* m_progress = nullptr;
    QCheckBox* m_decibels = nullptr;
    QSpinBox* m_averages = nullptr;
    QTreeWidget* m_peakList = nullptr;
    QLabel* m_resonance = nullptr;
    std::vector<float> m_magnitudes;
    // Bins the running request fetches; the plot draws as many.
    int m_binsRequested = 1024;
    hx::analysis::SpectrumAnalysis m_analysis;
    QTimer* m_holdTimer = nullptr;
    bool m_fetching = false;
    bool m_closing = false;
    int m_plotted = 0;
    hx::SpectrumJob m_job;
};

}  // namespace hx::gui
