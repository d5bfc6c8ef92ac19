#include "gui/tuning/FrequencyResponseWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/tuning/FrequencyResponseView.h"

namespace hx::gui {

namespace {

QString Dash() { return QStringLiteral("—"); }

void Mark(QLabel* label, bool ok, bool known) {
    label->setStyleSheet(!known ? QString() : ok ? QStringLiteral("color: #1a7f1a; font-weight: bold;")
                                                 : QStringLiteral("color: #c01010; font-weight: bold;"));
}

}  // namespace

QString FrequencyResponseWindow::HzText(std::optional<double> hz) {
    return hz ? QStringLiteral("%1 Hz").arg(*hz, 0, 'f', *hz < 100 ? 1 : 0) : Dash();
}
QString FrequencyResponseWindow::DegreesText(std::optional<double> deg) {
    return deg ? QStringLiteral("%1°").arg(*deg, 0, 'f', 1) : Dash();
}
QString FrequencyResponseWindow::DecibelsText(std::optional<double> db) {
    return db ? QStringLiteral("%1 dB").arg(*db, 0, 'f', 1) : Dash();
}

FrequencyResponseWindow::FrequencyResponseWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(tr("频率响应"));
    auto* layout = new QHBoxLayout(this);
    m_view = new FrequencyResponseView(this);
    layout->addWidget(m_view, 1);

    auto* side = new QVBoxLayout;
    layout->addLayout(side);
    auto* figures = new QGroupBox(tr("速度环"), this);
    auto* form = new QFormLayout(figures);
    m_crossover = new QLabel(Dash(), figures);
    m_phaseMargin = new QLabel(Dash(), figures);
    m_gainMargin = new QLabel(Dash(), figures);
    form->addRow(tr("穿越频率"), m_crossover);
    m_phaseBound = new QLabel(figures);
    m_gainBound = new QLabel(figures);
    ShowBounds(hx::tuning::kMinPhaseMarginDeg, hx::tuning::kMinGainMarginDb);
    form->addRow(m_phaseBound, m_phaseMargin);
    form->addRow(m_gainBound, m_gainMargin);
    m_verdict = new QLabel(figures);
    m_verdict->setWordWrap(true);
    form->addRow(m_verdict);
    side->addWidget(figures);

    auto* notches = new QGroupBox(tr("陷波器"), this);
    auto* notchLayout = new QVBoxLayout(notches);
    m_notches = new QListWidget(notches);
    m_notches->setMaximumHeight(90);
    notchLayout->addWidget(m_notches);
    side->addWidget(notches);

    auto* curves = new QGroupBox(tr("曲线"), this);
    m_curveLayout = new QVBoxLayout(curves);
    side->addWidget(curves);

    auto* fit = new QPushButton(tr("适合全部"), this);
    connect(fit, &QPushButton::clicked, m_view, &FrequencyResponseView::FitAll);
    m_cursors = new QPushButton(tr("测量光标"), this);
    m_cursors->setCheckable(true);
    connect(m_cursors, &QPushButton::toggled, m_view, &FrequencyResponseView::SetCursorsEnabled);
    auto* image = new QPushButton(tr("保存图片…"), this);
    connect(image, &QPushButton::clicked, m_view, &FrequencyResponseView::SaveImageAs);
    auto* csv = new QPushButton(tr("导出 CSV…"), this);
    connect(csv, &QPushButton::clicked, m_view, &FrequencyResponseView::SaveCsvAs);
    for (QPushButton* b : {fit, m_cursors, image, csv}) side->addWidget(b);
    side->addStretch(1);
    resize(1100, 700);
}

void FrequencyResponseWindow::ShowBounds(double phaseDeg, double gainDb) {
    m_phaseBound->setText(tr("相位裕度 (≥ %1°)").arg(QString::number(phaseDeg, 'g', 3)));
    m_gainBound->setText(tr("增益裕度 (≥ %1 dB)").arg(QString::number(gainDb, 'g', 3)));
}

void FrequencyResponseWindow::SetData(const hx::tuning::BodeData& data) {
    const auto translate = [](const char* name) {
        return QCoreApplication::translate(hx::tuning::kBodeTextContext, name).toStdString();
    };
    m_view->SetCurves(hx::tuning::BodeCurves(data, translate), hx::tuning::BodeMarksOf(data));

    const hx::tuning::LoopMargins& m = data.margins;
    m_crossover->setText(HzText(m.crossoverHz));
    m_phaseMargin->setText(DegreesText(m.phaseMarginDeg));
    // A gain margin beyond the band is no figure, but the loop's fall there is.
    m_gainMargin->setText(m.gainMarginDb ? DecibelsText(m.gainMarginDb)
                                         : m.crossoverHz ? tr("带内无 (%1 Hz 处 %2)")
                                                               .arg(m.bandTopHz, 0, 'f', 0)
                                                               .arg(DecibelsText(m.topGainDb))
                                                         : Dash());
    // Judged against what the tuning required of this loop, as its proof was.
    const double pmNeeded = data.requiredPhaseDeg, gmNeeded = data.requiredGainDb;
    ShowBounds(pmNeeded, gmNeeded);
    const bool pmOk = m.phaseMarginDeg && *m.phaseMarginDeg >= pmNeeded;
    const bool gmOk = m.gainMarginDb ? *m.gainMarginDb >= gmNeeded : m.topGainDb <= -gmNeeded;
    Mark(m_phaseMargin, pmOk, m.phaseMarginDeg.has_value());
    Mark(m_gainMargin, gmOk, m.crossoverHz.has_value());
    QString verdict = !m.crossoverHz                  ? tr("没有可用的开环测量。")
                      : m.Meets(pmNeeded, gmNeeded) ? tr("裕度满足要求。")
                                                    : tr("裕度不足：不要使用这组参数。");
    if (m.crossoverHz && (pmNeeded > hx::tuning::kMinPhaseMarginDeg || gmNeeded > hx::tuning::kMinGainMarginDb))
        verdict += QLatin1Char(' ') + tr("这台机械要求更大的裕度：探测运动测得的惯量远大于速度环带内所见，测量的误差须留有余地。");
    m_verdict->setText(verdict);

    m_notches->clear();
    for (const hx::tuning::Notch& n : data.notches)
        m_notches->addItem(tr("%1 Hz，深度 %2 dB").arg(n.centerHz, 0, 'f', 0).arg(hx::tuning::MagnitudeDb(std::max(n.centerGain, 1e-3)), 0, 'f', 0));
    if (data.notches.empty()) m_notches->addItem(tr("无"));

    for (QCheckBox* box : m_curveBoxes) delete box;
    m_curveBoxes.clear();
    const auto& curves = m_view->Model().Curves();
    for (std::size_t i = 0; i < curves.size(); ++i) {
        auto* box = new QCheckBox(QString::fromStdString(curves[i].name), this);
        box->setChecked(true);
        const int index = static_cast<int>(i);
        connect(box, &QCheckBox::toggled, this, [this, index](bool on) { m_view->SetCurveVisible(index, on); });
        m_curveLayout->addWidget(box);
        m_curveBoxes.push_back(box);
    }
}

}  // namespace hx::gui
