#include "gui/wave/FFTAnalyze.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QSpinBox>
#include <QTreeWidget>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "gui/plot/Cscope.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {


// The source whose channel (colour, scale of its own) the spectrum's curve
// takes; its caption is not a spectrum's, so the curve is captioned itself.
constexpr int kSpectrumCaptionType = 4096;

}  // namespace

CFFTAnalyze::CFFTAnalyze(const hx::DriveHandle& drive, QWidget* parent)
    : FunctionWindow(tr("FFT分析"), LinkUse::HoldsLink, parent), m_drive(drive) {
    m_scope = new Cscope;
    m_scope->setMinimumSize(820, 460);
    m_scope->SetAxisKind(hx::plot::AxisKind::Frequency);

    m_start = new QPushButton(TableText(50059));
    m_start->setMinimumHeight(32);
    connect(m_start, &QPushButton::clicked, this, &CFFTAnalyze::OnStart);

    // The request settings exist but are not offered: the drive is always
    // asked for 4 kHz and 2048 points.
    m_settings = new QGroupBox(tr("采样设置"));
    auto* sg = new QGridLayout(m_settings);
    m_frequency = new QComboBox;
    m_frequency->addItems({"1KHz", "2KHz", "4KHz", "8KHz"});
    m_frequency->setCurrentIndex(2);
    m_pointsList = new QComboBox;
    m_pointsList->addItems({"1024", "2048", "4096"});
    m_pointsList->setCurrentIndex(1);
    sg->addWidget(new QLabel(tr("采样频率:")), 0, 0);
    sg->addWidget(m_frequency, 0, 1);
    sg->addWidget(new QLabel(tr("采样点数:")), 1, 0);
    sg->addWidget(m_pointsList, 1, 1);
    m_settings->setVisible(false);

    m_progress = new QProgressBar;
    m_progress->setVisible(false);
    m_progress->setMaximumWidth(220);

    m_decibels = new QCheckBox("dB");
    connect(m_decibels, &QCheckBox::toggled, this, [this] {
        if (!m_magnitudes.empty()) showSpectrum();
    });
    m_averages = new QSpinBox;
    m_averages->setRange(1, hx::analysis::kMaxAverages);
    m_averages->setValue(1);

    m_peakList = new QTreeWidget;
    m_peakList->setRootIsDecorated(false);
    m_peakList->setHeaderLabels({tr("频率(Hz)"), tr("幅值")});
    m_peakList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_peakList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_peakList->setMinimumWidth(240);
    m_peakList->setMaximumWidth(280);
    m_resonance = new QLabel;
    m_resonance->setWordWrap(true);
    m_resonance->setObjectName("resonance");
    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(tr("峰值")));
    side->addWidget(m_peakList, 1);
    side->addWidget(m_resonance);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(new QLabel(tr("平均次数")));
    buttons->addWidget(m_averages);
    buttons->addWidget(m_decibels);
    buttons->addWidget(m_progress);
    buttons->addStretch();
    buttons->addWidget(m_settings);

    auto* top = new QHBoxLayout;
    top->addWidget(m_scope, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    m_holdTimer = new QTimer(this);
    m_holdTimer->setSingleShot(true);
    m_holdTimer->setTimerType(Qt::PreciseTimer);  // two seconds, not "about two"
    m_holdTimer->setInterval(kButtonHoldMs);
    connect(m_holdTimer, &QTimer::timeout, this, &CFFTAnalyze::maybeEnableStart);

    m_scope->SetYCaption(tr("幅值"));
    m_scope->SetXCaption(tr("频率(Hz)"));
    m_scope->SetXRange(0, 2048, 2);
    m_scope->SetAxisValues(0, 2048);
    for (int k = 1; k <= 4; ++k) m_scope->SetChannelRange(k, -5, 5);
    m_scope->ClearPoints();
    m_scope->ClearAndRedraw();
}

CFFTAnalyze::~CFFTAnalyze() {
    m_closing = true;
    m_job.requestStop();
    m_job.join();
}

void CFFTAnalyze::OnStart() {
    if (busy() || !m_start->isEnabled()) return;
    m_start->setEnabled(false);

    hx::SpectrumRequest request;  // frequency code 2, point-count code 1, 1024 bins
    request.averages = m_averages->value();
    m_binsRequested = request.resultCount;
    m_scope->SetPointsPerChannel(request.resultCount);
    hx::SpectrumCallbacks callbacks;
    callbacks.progress = UiCallback<int, int>(this, [this](int done, int total) { onProgress(done, total); });
    callbacks.finished =
        UiCallback<hx::SpectrumResult>(this, [this](const hx::SpectrumResult& result) { onFinished(result); });
    const int count = request.resultCount;
    m_fetching = m_job.start(request, std::move(callbacks), m_drive);
    if (!m_fetching) {
        m_start->setEnabled(true);
        return;
    }
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setVisible(true);

    m_scope->ClearPoints();
    m_scope->SetXCaption(tr("频率(Hz)"));
    m_scope->SetXRange(0, static_cast<float>(count), 2);
    m_scope->SetAxisValues(0, static_cast<float>(hx::SpectrumAxisEnd(count)));
    for (int k = 1; k <= 4; ++k) m_scope->SetChannelRange(k, -5, 5);
    m_scope->ClearAndRedraw();
    m_scope->ShowWaitText();
    m_holdTimer->start();
}

void CFFTAnalyze::onProgress(int done, int total) {
    if (m_closing) return;
    m_progress->setRange(0, std::max(1, total));
    m_progress->setValue(done);
}

void CFFTAnalyze::onFinished(const hx::SpectrumResult& result) {
    if (m_closing) return;
    m_fetching = false;
    m_progress->setVisible(false);
    maybeEnableStart();
    switch (result.status) {
    case hx::CaptureStatus::Completed: {
        const int n = std::min<int>(m_binsRequested, static_cast<int>(result.bins.size()));
        m_magnitudes.assign(result.bins.begin(), result.bins.begin() + n);
        showSpectrum();
        ++m_plotted;
        emit spectrumShown();
        break;
    }
    case hx::CaptureStatus::Stopped: m_scope->ClearAndRedraw(); break;
    case hx::CaptureStatus::TimedOut:
        m_scope->ClearAndRedraw();
        ShowMessage(this, QCoreApplication::translate(hx::kCaptureTextContext, hx::kSpectrumTimeoutText));
        break;
    case hx::CaptureStatus::NoAnswer:
    case hx::CaptureStatus::NotStarted:
    case hx::CaptureStatus::Failed:
        m_scope->ClearAndRedraw();
        ShowMessage(this, QString::fromStdString(result.message), {}, MessageIcon::Warning);
        break;
    }
}

void CFFTAnalyze::showSpectrum() {
    const bool db = m_decibels->isChecked();
    const double binHz = hx::SpectrumBinFrequency(1);
    const int n = static_cast<int>(m_magnitudes.size());
    const std::vector<float> shown = db ? hx::analysis::InDecibels(m_magnitudes) : m_magnitudes;
    m_scope->ClearPoints();
    m_scope->SetXRange(0, static_cast<float>(n), 2);
    m_scope->SetAxisValues(0, static_cast<float>(hx::SpectrumAxisEnd(n)));
    m_scope->SetChannelTypes(kSpectrumCaptionType, 0, 0, 0);
    m_scope->SetYCaption(db ? tr("幅值(dB)") : tr("幅值"));
    m_scope->SetChannelVisible(1, true);
    m_scope->ShowCapture({shown}, n);
    // The motion fills the lowest bins: the scale is that of the band above
    // it, from 0 (or from the band's lowest level in decibels).
    const hx::analysis::SpectrumScale scale = hx::analysis::ScaleForSpectrum(m_magnitudes, binHz, db);
    m_scope->SetChannelRange(1, static_cast<float>(scale.minimum), static_cast<float>(scale.maximum));
    m_scope->Redraw();

    m_analysis = hx::analysis::AnalyseSpectrum(m_magnitudes, binHz);
    // The peaks numbered on the plot as in the list.
    std::vector<hx::plot::Marker> marks;
    for (const auto& p : m_analysis.peaks)
        marks.push_back({0, static_cast<float>(p.bin), shown[p.bin], std::to_string(marks.size() + 1), 0xFFFFFF});
    m_scope->Model().SetMarkers(std::move(marks));
    m_scope->update();
    m_peakList->clear();
    for (const auto& p : m_analysis.peaks) {
        auto* item = new QTreeWidgetItem(m_peakList);
        item->setText(0, QString::number(p.frequencyHz, 'f', 1));
        item->setText(1, db ? QString::number(hx::analysis::ToDecibels(p.level), 'f', 1)
                            : QString::number(std::lround(p.level)));
        item->setTextAlignment(0, Qt::AlignRight);
        item->setTextAlignment(1, Qt::AlignRight);
        if (p.likelyResonance) {
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setFont(1, bold);
        }
    }
    const bool named = !m_analysis.peaks.empty() && m_analysis.peaks.front().likelyResonance;
    m_resonance->setText(named ? QCoreApplication::translate(hx::analysis::kAnalysisTextContext, hx::analysis::kLikelyResonanceText) +
                                     QString(": %1 Hz").arg(m_analysis.peaks.front().frequencyHz, 0, 'f', 1)
                               : QString());
}

void CFFTAnalyze::maybeEnableStart() {
    // Two seconds at least, as always, and never while a request still runs.
    if (m_closing || m_holdTimer->isActive() || busy()) return;
    m_start->setEnabled(true);
}

bool CFFTAnalyze::canClose() {
    // The request ends at its next poll or block; nothing is freed before.
    m_closing = true;
    m_holdTimer->stop();
    m_job.requestStop();
    m_job.join();
    m_fetching = false;
    return true;
}

}  // namespace hx::gui
