#include "gui/wave/FFTAnalyze.h"

#include <QComboBox>
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


// The source whose caption the spectrum's curve carries.
constexpr int kSpectrumCaptionType = 4096;

}  // namespace

CFFTAnalyze::CFFTAnalyze(QWidget* parent) : FunctionWindow(tr("FFT分析"), LinkUse::HoldsLink, parent) {
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

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_progress);
    buttons->addStretch();
    buttons->addWidget(m_settings);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scope, 1);
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
    g_pointsPerChannel = request.resultCount;
    hx::SpectrumCallbacks callbacks;
    callbacks.progress = UiCallback<int, int>(this, [this](int done, int total) { onProgress(done, total); });
    callbacks.finished =
        UiCallback<hx::SpectrumResult>(this, [this](const hx::SpectrumResult& result) { onFinished(result); });
    const int count = request.resultCount;
    m_fetching = m_job.start(request, std::move(callbacks));
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
        m_scope->SetChannelTypes(kSpectrumCaptionType, 0, 0, 0);
        m_scope->SetChannelVisible(1, true);
        const int n = std::min<int>(g_pointsPerChannel, static_cast<int>(result.bins.size()));
        m_scope->PlotBatch({result.bins.data(), nullptr, nullptr, nullptr}, n);
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
    case hx::CaptureStatus::Failed:
        m_scope->ClearAndRedraw();
        ShowMessage(this, QString::fromStdString(result.message), {}, MessageIcon::Warning);
        break;
    }
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
