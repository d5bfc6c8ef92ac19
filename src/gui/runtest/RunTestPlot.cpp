#include "gui/runtest/RunTestWindow.h"

#include "gui/runtest/ResonateAdjust.h"

// The run-test window's channel lists, its plot and the figures under it.

#include <QComboBox>
#include <QCheckBox>
#include <QLabel>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "core/Globals.h"
#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/runtest/StepResponse.h"
#include "gui/plot/Cscope.h"
#include "gui/runtest/TorqueMode.h"
#include "gui/runtest/VelocityMode.h"

namespace hx::gui {

using namespace hx::runtest;

namespace {

constexpr uint32_t kPositionError = 1, kSpeedFeedback = 2, kSpeedReference = 8;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void CRunTest::ColourList(int channel) {
    const QColor c = m_colours[channel];
    m_lists[channel]->setStyleSheet(QString("QComboBox { background-color: %1; color: black; }").arg(c.name()));
}

void CRunTest::ShowEmptyPlot() {
    // What another mode recorded, and its figures, say nothing about this one.
    m_figures->clear();
    m_lastStep.reset();
    const int points = std::max(200, m_points->currentText().toInt());
    if (m_mode == Mode::Torque) {
        m_plot->SetYCaption(tr("力矩电流(mA)"));
        m_plot->SetXCaption(tr("时间(ms)"));
        m_plot->SetXRange(0, points, 2);
        m_plot->SetAxisValues(0, static_cast<float>(points) * kTorqueSamplePeriodUs / 1000.0f);
    } else {
        m_plot->SetYCaption(tr("电流(mA)"));
        m_plot->SetXCaption(tr("时间(us)"));
        m_plot->SetXRange(0, points, 2);
        m_plot->SetAxisValues(0, static_cast<float>(points) * currentPage()->SampleInterval());
    }
    m_plot->ClearPoints();
    m_plot->Redraw();
}

void CRunTest::ApplySources(int mask, int channelCount) {
    // The empty entry, then every source the drive offers, in bit order.
    const std::vector<hx::ChannelListEntry> entries = hx::FillChannelLists(static_cast<uint16_t>(mask));
    const int n = static_cast<int>(entries.size()) - 1;
    for (int i = 0; i < 4; ++i) {
        m_lists[i]->clear();
        for (const auto& e : entries) m_lists[i]->addItem(Text(e.name), static_cast<uint32_t>(e.code));
    }
    for (int i = 0; i < 4; ++i) m_lists[i]->setCurrentIndex(0);
    const auto picks = ChannelPicks(n, static_cast<int16_t>(channelCount));
    for (int i = 0; i < 4; ++i) {
        if (!picks[i]) continue;
        m_lists[i]->setCurrentIndex(picks[i]->entry);
        m_boxes[i]->setChecked(picks[i]->on);
        m_boxes[i]->setEnabled(true);
        m_lists[i]->setEnabled(true);
    }
    for (int i = 0; i < 4; ++i) m_plot->SetChannelVisible(i + 1, m_boxes[i]->isChecked());
}

void CRunTest::FillPointsList() {
    int selected = 0;
    for (auto* list : m_lists) selected += list->currentIndex() > 0;
    const std::vector<int> choices = PointsChoices(m_capacity, selected, g_firmwareVersion);
    m_points->clear();
    for (int p : choices) m_points->addItem(QString::number(p));
    m_points->setCurrentIndex(m_points->count() - 1);
}

std::array<uint32_t, 4> CRunTest::ChannelCodes() {
    std::array<uint32_t, 4> selected{};
    std::array<bool, 4> ticked{};
    for (int i = 0; i < 4; ++i) {
        selected[i] = m_lists[i]->currentIndex() > 0 ? m_lists[i]->currentData().toUInt() : 0;
        ticked[i] = m_boxes[i]->isChecked();
    }
    const auto codes = runtest::ChannelCodes(selected, ticked);
    m_plot->SetChannelTypes(static_cast<int>(codes[0]), static_cast<int>(codes[1]), static_cast<int>(codes[2]),
                            static_cast<int>(codes[3]));
    for (int i = 0; i < 4; ++i) m_plot->SetChannelVisible(i + 1, ticked[i]);
    return codes;
}

void CRunTest::SetUpPlot(bool firstTorqueCapture, bool keepCurves) {
    const int points = m_pointsPerChannel;
    m_replacePlot = keepCurves;
    // The ranges below are the whole view's; a zoomed view keeps its own.
    const bool atFullView = m_plot->Model().Level() == 0;
    if (m_mode == Mode::Torque) {
        m_plot->SetYCaption(tr("力矩电流(mA)"));
        m_plot->SetXCaption(tr("时间(ms)"));
        if (atFullView || !keepCurves) {
            m_plot->SetXRange(0, points, 2);
            // The first capture's scale ends at points / 2, every re-capture's at points.
            m_plot->SetAxisValues(0, static_cast<float>(firstTorqueCapture ? points / 2 : points));
        }
    } else {
        m_plot->SetXCaption(tr("时间(us)"));
        if (atFullView || !keepCurves) m_plot->SetXRange(0, points, 2);
    }
    if (keepCurves) return;
    for (int i = 1; i <= 4; ++i) m_plot->SetChannelRange(i, -5, 5);
    m_plot->ClearPoints();
    m_plot->Redraw();
}

void CRunTest::ShowFigures(const RunOutcome& outcome) {
    QStringList lines;
    // Rounded first, so that a small negative value shows as 0, not -0.
    auto fixed = [](double v, int d) {
        const double scale = std::pow(10.0, d);
        const double r = std::round(v * scale) / scale;
        return QString::number(r == 0 ? 0.0 : r, 'f', d);
    };
    if (outcome.mode == Mode::Torque) {
        const StepFigures f = ComputeStepFigures(outcome.samples[0], m_torque->Fields().testCurrent,
                                                 kTorqueSamplePeriodUs);
        m_lastStep = f;
        const std::optional<StepFigures>& before = m_previousStep;
        // A figure of this step, after the previous step's when there was one.
        auto figure = [&](auto member, auto text) {
            return before ? text(*before.*member) + "  →  " + text(f.*member) : text(f.*member);
        };
        auto ms = [&](const QString& missing) {
            return [&fixed, missing](const std::optional<double>& v) { return v ? fixed(*v, 2) + " ms" : missing; };
        };
        auto percent = [&](const std::optional<double>& v) { return v ? fixed(*v, 1) + " %" : QString("-"); };
        QString line = tr("上升时间(10%~90%): %1").arg(figure(&StepFigures::riseTimeMs, ms(tr("未达到"))));
        if (f.overshootPct)
            line += "    " + tr("超调量: %1").arg(figure(&StepFigures::overshootPct, percent));
        lines << line;
        line = tr("调节时间(±5%): %1").arg(figure(&StepFigures::settlingTimeMs, ms(tr("未稳定"))));
        if (f.steadyStateError)
            line += "    " + tr("稳态误差: %1 mA (%2 %)")
                                 .arg(fixed(*f.steadyStateError, 0), fixed(*f.steadyStateErrorPct, 1));
        lines << line;
    } else {
        auto channel = [&](uint32_t code) -> const std::vector<float>* {
            for (int k = 0; k < 4; ++k)
                if (outcome.codes[k] == code) return &outcome.samples[k];
            return nullptr;
        };
        // Against the trapezoid the drive ran: the velocity page's own for its
        // runs; for a resonance run the one the drive holds (not the velocity
        // page's fields, which that run never sent). Unknown: the speed
        // reference's peak, when it was captured.
        double commanded = PeakSpeed(m_velocity->Fields());
        if (outcome.mode == Mode::Resonance)
            commanded = m_resonance->trapezoidRead() ? PeakSpeed(m_resonance->trapezoid()) : 0.0;
        const FollowingFigures f = ComputeFollowingFigures(channel(kPositionError), channel(kSpeedFeedback),
                                                           channel(kSpeedReference), commanded);
        QStringList parts;
        if (f.peakFollowingError) parts << tr("峰值跟随误差: %1 p").arg(fixed(*f.peakFollowingError, 0));
        if (f.rmsFollowingError) parts << tr("跟随误差均方根: %1 p").arg(fixed(*f.rmsFollowingError, 1));
        if (!parts.isEmpty()) lines << parts.join("    ");
        if (f.speedOvershootPct) lines << tr("速度超调: %1 %").arg(fixed(*f.speedOvershootPct, 1));
    }
    m_figures->setText(lines.join("\n"));
}

}  // namespace hx::gui
