#pragma once
// The run-test window's plot: up to four curves over the capture's time
// axis, each on its own symmetric scale that grows with the values, on a
// black plot area with a green grid. Points arrive in batches (a capture);
// the picture is rebuilt once per batch.

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

namespace hx::gui {

class RunPlot : public QWidget {
    Q_OBJECT
public:
    explicit RunPlot(QWidget* parent = nullptr);

    void SetXCaption(const QString& text);
    void SetYCaption(const QString& text);
    // Point range and the time shown at its ends.
    void SetXRange(int first, int last);
    void SetAxisValues(double first, double last);
    void SetChannelRange(int channel, double min, double max);  // channel 0..3
    void SetChannelTypes(const std::array<uint32_t, 4>& codes);
    void SetChannelVisible(int channel, bool visible);
    void SetChannelColor(int channel, const QColor& color);
    QColor ChannelColor(int channel) const { return m_colors[channel]; }
    // Empties the four point lists.
    void ClearPoints();
    // A whole batch: the channel's values, index = point.
    void SetPoints(int channel, const std::vector<float>& values);
    // Picture rebuilt at the next paint.
    void Redraw() { update(); }

    int PointCount(int channel) const { return static_cast<int>(m_points[channel].size()); }
    double ChannelMax(int channel) const { return m_max[channel]; }
    double AxisLast() const { return m_axisLast; }
    QString XCaption() const { return m_xCaption; }
    QString YCaption() const { return m_yCaption; }

signals:
    // The user picked a new colour for a curve (channel 0..3).
    void channelColorChanged(int channel, QColor color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString m_xCaption, m_yCaption;
    int m_xFirst = 0, m_xLast = 200;
    double m_axisFirst = 0, m_axisLast = 200;
    std::array<double, 4> m_min{-5, -5, -5, -5}, m_max{5, 5, 5, 5};
    std::array<uint32_t, 4> m_types{};
    std::array<bool, 4> m_visible{true, true, true, true};
    std::array<QColor, 4> m_colors;
    std::array<std::vector<float>, 4> m_points;
};

}  // namespace hx::gui
