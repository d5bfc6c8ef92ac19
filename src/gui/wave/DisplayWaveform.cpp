#include "gui/wave/DisplayWaveform.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QSignalBlocker>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/capture/WaveFile.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "gui/plot/Cscope.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {


// The classic channel colours (0x00BBGGRR: red, azure, orange, yellow).
const QColor kChannelColours[4] = {QColor(255, 0, 0), QColor(0, 128, 255), QColor(255, 128, 0), QColor(255, 255, 0)};

const char* const kIntervals[] = {"50",   "100",  "200",  "400",   "800",   "1000", "2000",
                                  "3000", "4000", "5000", "10000", "20000", "30000"};

struct LimitsRead {
    bool answered = false;
    hx::SamplingLimits limits;
};

}  // namespace

CDisplayWaveform::CDisplayWaveform(const hx::DriveHandle& drive, QWidget* parent)
    : FunctionWindow(tr("波形显示"), LinkUse::HoldsLink, parent), m_drive(drive) {
    for (int k = 0; k < 4; ++k) m_colours[k] = kChannelColours[k];
    buildControls();
    // Every new waveform window starts from the classic 200 points.
    setPointsPerChannel(200);

    // The plot's start-up picture.
    m_scope->SetYCaption(TableText(50041));
    m_scope->SetXCaption(TableText(50042));
    m_scope->SetXRange(0, 400, 2);
    m_scope->SetAxisValues(0, 40000);
    for (int k = 1; k <= 4; ++k) m_scope->SetChannelRange(k, -5, 5);
    m_scope->ClearPoints();
    m_scope->ClearAndRedraw();
    m_recording.ClearLists();

    readDriveLimits();
}

CDisplayWaveform::~CDisplayWaveform() {
    // Nothing the jobs touch may go before they have ended.
    m_closing = true;
    m_job.requestStop();
    m_limitsJob.requestStop();
    m_job.join();
    m_limitsJob.join();
}

void CDisplayWaveform::buildControls() {
    m_scope = new Cscope;
    m_scope->SetReferenceLoader([this] { OnLoadReference(); });
    m_scope->setMinimumSize(760, 460);
    connect(m_scope, &Cscope::channelColourChanged, this, &CDisplayWaveform::onChannelColour);

    m_load = new QToolButton;
    m_load->setText(tr("读入"));
    m_load->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    m_load->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_load->setToolTip(TableText(50039));
    connect(m_load, &QToolButton::clicked, this, &CDisplayWaveform::OnLoad);
    m_save = new QToolButton;
    m_save->setText(tr("保存"));
    m_save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    m_save->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_save->setToolTip(TableText(50040));
    connect(m_save, &QToolButton::clicked, this, &CDisplayWaveform::OnSave);

    // The CSV export sits at the plot's top right; without text of its own
    // it says what it does when pointed at.
    m_csv = new QToolButton(m_scope);
    m_csv->setAutoRaise(true);
    m_csv->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));
    m_csv->setIconSize(QSize(14, 14));
    m_csv->setFixedSize(20, 20);
    m_csv->setCursor(Qt::PointingHandCursor);
    m_csv->setToolTip(tr("导出为CSV文件"));
    connect(m_csv, &QToolButton::clicked, this, &CDisplayWaveform::OnExportCsv);
    auto* table = new QAction(tr("导出表格 CSV…"), this);
    connect(table, &QAction::triggered, this, &CDisplayWaveform::OnExportTableCsv);
    m_scope->AddMenuAction(table);
    m_scope->installEventFilter(this);

    auto* channels = new QGroupBox(tr("通道选择"));
    auto* cg = new QGridLayout(channels);
    const QString names[4] = {tr("一"), tr("二"), tr("三"), tr("四")};
    for (int k = 0; k < 4; ++k) {
        m_check[k] = new QCheckBox(names[k]);
        m_channel[k] = new QComboBox;
        m_channel[k]->setMinimumWidth(200);
        m_check[k]->setEnabled(false);
        m_channel[k]->setEnabled(false);
        cg->addWidget(m_check[k], k, 0);
        cg->addWidget(m_channel[k], k, 1);
        connect(m_check[k], &QCheckBox::clicked, this, [this, k](bool on) {
            m_scope->SetChannelVisible(k + 1, on);
            m_scope->Redraw();
            updateEstimate();
        });
        connect(m_channel[k], &QComboBox::currentIndexChanged, this, [this] {
            if (m_ready) FillPointsList();
        });
        colourChannelList(k);
    }

    auto* settings = new QGroupBox(tr("设置"));
    auto* sg = new QGridLayout(settings);
    m_record = new QCheckBox(tr("录制波形"));
    m_cyclic = new QCheckBox(tr("循环采样"));
    m_periodLabel = new QLabel(tr("循环采样周期(ms)"));
    m_period = new QComboBox;
    for (int ms = 500; ms <= 2000; ms += 100) m_period->addItem(QString::number(ms));
    m_period->setCurrentIndex(5);
    m_period->setEnabled(false);
    m_periodLabel->setEnabled(false);
    connect(m_cyclic, &QCheckBox::toggled, this, [this](bool on) {
        m_period->setEnabled(on);
        m_periodLabel->setEnabled(on);
    });
    m_interval = new QComboBox;
    for (const char* i : kIntervals) m_interval->addItem(i);
    m_interval->setCurrentIndex(1);
    m_points = new QComboBox;
    connect(m_interval, &QComboBox::currentIndexChanged, this, &CDisplayWaveform::updateEstimate);
    connect(m_points, &QComboBox::currentIndexChanged, this, &CDisplayWaveform::updateEstimate);
    m_start = new QPushButton(TableText(50059));
    m_start->setMinimumHeight(32);
    connect(m_start, &QPushButton::clicked, this, &CDisplayWaveform::OnStartStop);
    m_estimate = new QLabel;
    m_estimate->setWordWrap(true);
    m_progress = new QProgressBar;
    m_progress->setTextVisible(true);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setVisible(false);

    sg->addWidget(m_record, 0, 0, 1, 2);
    sg->addWidget(m_cyclic, 1, 0, 1, 2);
    sg->addWidget(m_periodLabel, 2, 0);
    sg->addWidget(m_period, 2, 1);
    sg->addWidget(new QLabel(tr("采样间隔(us)")), 3, 0);
    sg->addWidget(m_interval, 3, 1);
    sg->addWidget(new QLabel(tr("每通道采样点数")), 4, 0);
    sg->addWidget(m_points, 4, 1);
    sg->addWidget(m_estimate, 5, 0, 1, 2);
    sg->addWidget(m_progress, 6, 0, 1, 2);
    sg->addWidget(m_start, 7, 0, 1, 2);

    m_scroll = new QScrollBar(Qt::Horizontal);
    m_scroll->setRange(0, 1000);
    m_scroll->setValue(0);
    m_scroll->setVisible(false);

    auto* files = new QHBoxLayout;
    files->addWidget(m_load);
    files->addWidget(m_save);
    files->addStretch();

    auto* side = new QVBoxLayout;
    side->addLayout(files);
    side->addWidget(channels);
    side->addWidget(settings);
    side->addStretch();

    auto* plotColumn = new QVBoxLayout;
    plotColumn->addWidget(m_scope, 1);
    plotColumn->addWidget(m_scroll);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(plotColumn, 1);
    layout->addLayout(side);

    m_cycleTimer = new QTimer(this);
    m_cycleTimer->setSingleShot(true);
    // The period is the user's: a coarse timer may fire 5 % early or late.
    m_cycleTimer->setTimerType(Qt::PreciseTimer);
    connect(m_cycleTimer, &QTimer::timeout, this, &CDisplayWaveform::onCycleTimer);
}

bool CDisplayWaveform::eventFilter(QObject* watched, QEvent* event) {
    // The export area keeps to the plot's top right corner.
    if (watched == m_scope && event->type() == QEvent::Resize)
        m_csv->move(m_scope->width() - m_csv->width() - 2, 2);
    return FunctionWindow::eventFilter(watched, event);
}

void CDisplayWaveform::readDriveLimits() {
    // The drive's source mask, channel count and capacity come over the link,
    // so not on this thread; the lists stay disabled until they are in.
    m_limitsJob.run<LimitsRead>(
        [drive = m_drive](std::stop_token) mutable {
            LimitsRead r;
            r.answered = hx::ReadSamplingLimits(drive, &r.limits);
            return r;
        },
        UiCallback<const LimitsRead&>(this, [this](const LimitsRead& r) { onLimitsRead(r.answered, r.limits); }));
}

void CDisplayWaveform::onLimitsRead(bool answered, const hx::SamplingLimits& limits) {
    if (m_closing) return;
    const auto entries = hx::FillChannelLists(limits.sourceMask);
    m_sourceCount = static_cast<int>(entries.size()) - 1;
    for (int k = 0; k < 4; ++k) {
        QSignalBlocker block(m_channel[k]);
        m_channel[k]->clear();
        for (const auto& e : entries) m_channel[k]->addItem(QString::fromStdString(e.name), e.code);
        m_channel[k]->setCurrentIndex(0);
    }

    const auto offers = hx::OfferChannels(limits.channelCount, m_sourceCount);
    for (int k = 0; k < 4; ++k) {
        m_check[k]->setChecked(offers[k].offered);
        m_check[k]->setEnabled(offers[k].offered);
        m_channel[k]->setEnabled(offers[k].offered);
        if (!offers[k].offered) continue;
        QSignalBlocker block(m_channel[k]);
        m_channel[k]->setCurrentIndex(offers[k].entry);
    }

    m_capacity = limits.capacity;
    m_ready = true;
    FillPointsList();
    if (!answered)
        ShowMessage(this, QCoreApplication::translate(hx::kCaptureTextContext, hx::kNoAnswerText), {},
                    MessageIcon::Warning);
}

int CDisplayWaveform::FillPointsList() {
    int selected = 0;
    for (auto* list : m_channel)
        if (list->currentIndex() > 0) ++selected;
    const std::vector<int> choices = hx::PointsChoices(m_capacity, selected, g_firmwareVersion);
    QSignalBlocker block(m_points);
    m_points->clear();
    for (int p : choices) m_points->addItem(QString::number(p));
    m_points->setCurrentIndex(m_points->count() - 1);
    updateEstimate();
    return choices.back();
}

void CDisplayWaveform::ReadSampleSettings() {
    bool ok = false;
    int interval = m_interval->currentText().trimmed().toInt(&ok);
    if (!ok) interval = 0;
    m_intervalUs = static_cast<int16_t>(interval);
    if (m_intervalUs <= 0) {
        m_intervalUs = 50;
        m_interval->setCurrentIndex(0);
    }
    uint16_t points = static_cast<uint16_t>(m_points->currentText().trimmed().toUInt());
    if (points < 200) points = 200;
    setPointsPerChannel(points);
    m_recording.recordedPoints = points;
    m_totalTime = static_cast<int32_t>(points) * m_intervalUs;
}

void CDisplayWaveform::setPointsPerChannel(uint16_t points) {
    m_pointsPerChannel = points;
    // Each window's plot is told its own points per channel, so another
    // window's capture leaves this axis alone.
    m_scope->SetPointsPerChannel(points);
}

void CDisplayWaveform::ReadChannelSelection() {
    for (int k = 0; k < 4; ++k) {
        const std::string name = m_channel[k]->currentText().toStdString();
        m_codes[k] = m_check[k]->isChecked() ? hx::ChannelNameToCode(name) : 0;
    }
    m_scope->SetChannelTypes(m_codes[0], m_codes[1], m_codes[2], m_codes[3]);
    for (int k = 0; k < 4; ++k) m_scope->SetChannelVisible(k + 1, m_check[k]->isChecked());
}

void CDisplayWaveform::OnStartStop() {
    if (!m_running) {
        if (m_busy) {
            showBusy();
            return;
        }
        setRunning(true);
        OnUiThread(this, [this] { onStartSampling(); });
    } else {
        // The capture on its way still completes and is plotted; no other follows.
        setRunning(false);
    }
}

void CDisplayWaveform::setRunning(bool running) {
    m_running = running;
    m_start->setText(running ? TableText(50014) : TableText(50059));
}

void CDisplayWaveform::onStartSampling() {
    const bool repeating = m_repeating;
    m_repeating = false;
    if (m_closing || m_busy) return;
    m_busy = true;
    const auto shownCodes = m_codes;
    const uint16_t shownPoints = m_pointsPerChannel;
    const int32_t shownTime = m_totalTime;
    ReadSampleSettings();
    ReadChannelSelection();
    m_replacing = repeating && m_capturesPlotted > 0 && shownCodes == m_codes && shownPoints == m_pointsPerChannel &&
                  shownTime == m_totalTime;

    if (!m_replacing) {
        m_scope->ClearPoints();
        m_scope->SetXRange(0, m_pointsPerChannel, 2);
        m_scope->SetAxisValues(0, static_cast<float>(m_totalTime));
        for (int k = 1; k <= 4; ++k) m_scope->SetChannelRange(k, -5, 5);
        m_scope->ClearAndRedraw();
        m_scope->ShowWaitText();
    }

    m_recording.ClearLists();
    const bool any = std::any_of(m_codes.begin(), m_codes.end(), [](int32_t c) { return c != 0; });
    if (any) {
        emit sampleStarted();
        startAcquisition();
    } else {
        setRunning(false);
        m_busy = false;
        m_scope->ClearAndRedraw();
    }
}

void CDisplayWaveform::startAcquisition() {
    hx::CaptureRequest request;
    for (int k = 0; k < 4; ++k) request.codes[k] = static_cast<uint16_t>(m_codes[k]);
    request.pointsPerChannel = m_pointsPerChannel;
    request.intervalUs = m_intervalUs;

    const int blocks = hx::CaptureBlockCount(request.codes, request.pointsPerChannel);
    m_progress->setRange(0, std::max(1, blocks));
    m_progress->setValue(0);
    m_progress->setFormat(tr("读取数据 %v/%m"));
    m_progress->setVisible(true);

    hx::CaptureCallbacks callbacks;
    callbacks.progress = UiCallback<int, int>(this, [this](int done, int total) { onCaptureProgress(done, total); });
    callbacks.finished =
        UiCallback<hx::CaptureResult>(this, [this](const hx::CaptureResult& result) { onCaptureFinished(result); });
    if (!m_job.start(std::move(request), std::move(callbacks), m_drive)) {
        m_busy = false;
        m_progress->setVisible(false);
        m_scope->Redraw();  // the "reading" text goes
    }
}

void CDisplayWaveform::onCaptureProgress(int done, int total) {
    if (m_closing) return;
    m_progress->setRange(0, std::max(1, total));
    m_progress->setValue(done);
}

void CDisplayWaveform::onCaptureFinished(const hx::CaptureResult& result) {
    if (m_closing) return;
    m_progress->setVisible(false);
    switch (result.status) {
    case hx::CaptureStatus::Completed:
        plotSamples(result);
        if (m_cyclic->isChecked() && m_running) {
            bool ok = false;
            const int period = m_period->currentText().toInt(&ok);
            m_cycleTimer->start(ok ? period : 1000);
        }
        m_busy = false;
        break;
    // Nothing came: the "reading" text goes, and what was shown before (the
    // last cycle's curves) stays.
    case hx::CaptureStatus::Stopped:
        m_busy = false;
        m_scope->Redraw();
        break;
    case hx::CaptureStatus::TimedOut:
        m_busy = false;
        m_scope->Redraw();
        ShowMessage(this, TableText(50060));
        break;
    case hx::CaptureStatus::NoAnswer:
    case hx::CaptureStatus::NotStarted:
    case hx::CaptureStatus::Failed:
        m_busy = false;
        m_scope->Redraw();
        ShowMessage(this, QString::fromStdString(result.message), {}, MessageIcon::Warning);
        break;
    }
}

void CDisplayWaveform::plotSamples(const hx::CaptureResult& result) {
    if (!m_scope) return;
    m_recording.ClearLists();
    m_scope->ShowCapture(result.samples, result.pointsPerChannel, m_replacing);
    m_replacing = false;
    if (m_record->isChecked()) {
        hx::RecordCapture(m_recording, result.codes, result.pointsPerChannel, result.intervalUs, result.samples);
    } else {
        // What is shown belongs to this capture even when it is not kept.
        for (int k = 0; k < 4; ++k) m_recording.codes[k] = m_codes[k];
        m_recording.pointsPerChannel = result.pointsPerChannel;
        m_recording.intervalUs = result.intervalUs;
        m_recording.recordedPoints = result.pointsPerChannel;
    }
    ++m_capturesPlotted;
    emit sampleDone();
}

void CDisplayWaveform::onCycleTimer() {
    m_cycleTimer->stop();
    if (m_cyclic->isChecked() && m_running)
        OnUiThread(this, [this] {
            m_repeating = true;
            onStartSampling();
        });
}

void CDisplayWaveform::showBusy() { ShowMessage(this, TableText(50043), TableText(50044)); }

bool CDisplayWaveform::canClose() {
    m_cycleTimer->stop();
    if (m_busy) {
        showBusy();
        return false;
    }
    m_closing = true;
    m_limitsJob.requestStop();
    m_limitsJob.join();
    return true;
}

void CDisplayWaveform::onChannelColour(int channel, const QColor& colour) {
    if (channel < 1 || channel > 4) return;
    m_colours[channel - 1] = colour;
    colourChannelList(channel - 1);
}

void CDisplayWaveform::colourChannelList(int k) {
    // The source list wears its channel's curve colour, with black text.
    m_channel[k]->setStyleSheet(QStringLiteral("QComboBox { background-color: %1; color: black; }")
                                    .arg(m_colours[k].name()));
}

int CDisplayWaveform::EstimatedFetchMs() const {
    hx::ChannelCodes codes{};
    for (int k = 0; k < 4; ++k)
        codes[k] = m_check[k]->isChecked() ? hx::ChannelNameToCode(m_channel[k]->currentText().toStdString()) : 0;
    const int points = std::max(200, m_points->currentText().toInt());
    return hx::EstimatedFetchMs(codes, points, m_drive.comm()->LineBaud());
}

void CDisplayWaveform::updateEstimate() {
    if (!m_ready) return;
    const int points = std::max(200, m_points->currentText().toInt());
    const int interval = std::max(50, m_interval->currentText().toInt());
    const double captureS = static_cast<double>(points) * interval / 1e6;
    m_estimate->setText(tr("采样 %1 秒，读取约 %2 秒")
                            .arg(captureS, 0, 'f', captureS < 1 ? 2 : 1)
                            .arg(EstimatedFetchMs() / 1000.0, 0, 'f', 1));
}

}  // namespace hx::gui
