#pragma once
// The Bode plot as a widget: the model (core/plot/BodeModel) painted by the
// renderer, with the scope's gestures: a dragged rectangle zooms into a
// pane's frequencies and values, a click zooms back out, the wheel zooms the
// frequencies around the mouse (Shift: the values of the pane under it),
// the middle button pans, arrows pan, + and - zoom, Home fits; two cursors
// dragged by the mouse; images (PNG, SVG) and CSV from the context menu.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <optional>

#include "core/plot/BodeModel.h"
#include "gui/plot/BodeRenderer.h"

class QMenu;

namespace hx::gui {

class FrequencyResponseView : public QWidget {
    Q_OBJECT
public:
    explicit FrequencyResponseView(QWidget* parent = nullptr);

    void SetCurves(std::vector<hx::plot::BodeCurve> curves, hx::plot::BodeMarks marks);
    void SetCurveVisible(int index, bool visible);
    void FitAll();
    void SetCursorsEnabled(bool on);
    bool CursorsEnabled() const { return m_model.CursorsEnabled(); }

    // The plot as the screen shows it, at `size` (the widget's when empty).
    QImage RenderImage(QSize size = {}) const;
    bool SaveImage(const QString& path, QSize size, QString* error) const;
    bool SaveCsv(const QString& path, QString* error) const;
    // Ask for a file (and an image size), then save; a failure is shown.
    void SaveImageAs();
    void SaveCsvAs();
    QMenu* CreateContextMenu();

    hx::plot::BodeModel& Model() { return m_model; }
    const hx::plot::BodeModel& Model() const { return m_model; }

    static constexpr double kKeyPan = 0.1;

signals:
    void cursorsChanged();
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void changed();

    hx::plot::BodeModel m_model;
    BodeRenderer m_renderer;
    std::optional<QPoint> m_bandStart;
    QPoint m_bandEnd;
    std::optional<QPoint> m_panFrom;
    std::optional<int> m_cursorDrag;
    int m_wheelRest = 0;
};

}  // namespace hx::gui
