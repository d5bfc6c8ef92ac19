#pragma once
// The frequency-response window ("频率响应"): the Bode plot of the plant and
// the speed loop before and after tuning, with the loop's figures beside it
// (crossover, phase and gain margins against what they must reach), the
// notches, which curves to show, and the plot's fit, cursors and exports.
//
// It shows what it is given (hx::tuning::BodeData, made in core); it
// computes nothing and holds no link.

#include <QWidget>
#include <vector>

#include "core/tuning/BodeData.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace hx::gui {

class FrequencyResponseView;

class FrequencyResponseWindow : public QWidget {
    Q_OBJECT
public:
    explicit FrequencyResponseWindow(QWidget* parent = nullptr);

    void SetData(const hx::tuning::BodeData& data);

    FrequencyResponseView* view() const { return m_view; }
    QLabel* crossoverValue() const { return m_crossover; }
    QLabel* phaseMarginValue() const { return m_phaseMargin; }
    QLabel* gainMarginValue() const { return m_gainMargin; }
    QLabel* verdictLabel() const { return m_verdict; }
    // "Phase margin (≥ 45°)": the bound the figure is judged against.
    QLabel* phaseBoundLabel() const { return m_phaseBound; }
    QListWidget* notchList() const { return m_notches; }
    const std::vector<QCheckBox*>& curveBoxes() const { return m_curveBoxes; }
    QPushButton* cursorsButton() const { return m_cursors; }

    // The figures as the panel writes them ("52.3 Hz", "48.0°", "12.5 dB";
    // "—" when there is none).
    static QString HzText(std::optional<double> hz);
    static QString DegreesText(std::optional<double> deg);
    static QString DecibelsText(std::optional<double> db);

private:
    void ShowBounds(double phaseDeg, double gainDb);
    FrequencyResponseView* m_view = nullptr;
    QLabel* m_crossover = nullptr;
    QLabel* m_phaseMargin = nullptr;
    QLabel* m_gainMargin = nullptr;
    QLabel* m_verdict = nullptr;
    QLabel* m_phaseBound = nullptr;
    QLabel* m_gainBound = nullptr;
    QListWidget* m_notches = nullptr;
    QVBoxLayout* m_curveLayout = nullptr;
    std::vector<QCheckBox*> m_curveBoxes;
    QPushButton* m_cursors = nullptr;
};

}  // namespace hx::gui
