#include "gui/tuning/FrequencyResponseView.h"

#include "gui/plot/WheelNotches.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "gui/plot/Cscope.h"  // AskImageSize
#include "gui/widgets/FileDialogs.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

using hx::plot::BodePane;

FrequencyResponseView::FrequencyResponseView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);
    setMinimumSize(320, 260);
}

void FrequencyResponseView::SetCurves(std::vector<hx::plot::BodeCurve> curves, hx::plot::BodeMarks marks) {
    m_model.SetCurves(std::move(curves));
    m_model.SetMarks(std::move(marks));
    changed();
}

void FrequencyResponseView::SetCurveVisible(int index, bool visible) {
    m_model.SetCurveVisible(static_cast<std::size_t>(index), visible);
    update();
}

void FrequencyResponseView::FitAll() {
    if (m_model.FitAll()) changed();
}

void FrequencyResponseView::SetCursorsEnabled(bool on) {
    m_model.SetCursorsEnabled(on);
    update();
    emit cursorsChanged();
}

void FrequencyResponseView::changed() {
    update();
    emit viewChanged();
}

QImage FrequencyResponseView::RenderImage(QSize size) const {
    return RenderBodeImage(m_model, size.isEmpty() ? this->size() : size);
}

bool FrequencyResponseView::SaveImage(const QString& path, QSize size, QString* error) const {
    return SaveBodeImage(m_model, path, size.isEmpty() ? this->size() : size, error);
}

bool FrequencyResponseView::SaveCsv(const QString& path, QString* error) const { return SaveBodeCsv(m_model, path, error); }

void FrequencyResponseView::SaveImageAs() {
    const QString path = AskFile(this, {true, tr("保存图片"), QStringLiteral("PNG (*.png);;SVG (*.svg)"), "png", {}});
    if (path.isEmpty()) return;
    const std::optional<QSize> size = AskImageSize(this, this->size());
    if (!size) return;
    QString error;
    if (!SaveImage(path, *size, &error)) ShowMessage(this, tr("无法保存图片：%1").arg(error), {}, MessageIcon::Warning);
}

void FrequencyResponseView::SaveCsvAs() {
    const QString path = AskFile(this, {true, tr("导出 CSV"), QStringLiteral("CSV (*.csv)"), "csv", {}});
    if (path.isEmpty()) return;
    QString error;
    if (!SaveCsv(path, &error)) ShowMessage(this, tr("无法保存文件：%1").arg(error), {}, MessageIcon::Warning);
}

QMenu* FrequencyResponseView::CreateContextMenu() {
    auto* menu = new QMenu(this);
    QAction* cursors = menu->addAction(tr("测量光标"));
    cursors->setCheckable(true);
    cursors->setChecked(CursorsEnabled());
    connect(cursors, &QAction::toggled, this, &FrequencyResponseView::SetCursorsEnabled);
    menu->addAction(tr("适合全部"), this, &FrequencyResponseView::FitAll)->setEnabled(m_model.Level() > 0);
    menu->addSeparator();
    menu->addAction(tr("保存图片…"), this, &FrequencyResponseView::SaveImageAs);
    menu->addAction(tr("导出 CSV…"), this, &FrequencyResponseView::SaveCsvAs);
    return menu;
}

void FrequencyResponseView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    m_renderer.Paint(p, m_model, size());
    if (m_bandStart) {
        p.setPen(QPen(Qt::white, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(*m_bandStart, m_bandEnd).normalized());
    }
}

void FrequencyResponseView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        m_panFrom = pos;
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (const auto c = m_model.CursorNear(pos.x())) {
        m_cursorDrag = c;
        return;
    }
    if (m_model.PaneAt(pos.x(), pos.y())) {
        m_bandStart = pos;
        m_bandEnd = pos;
    }
}

void FrequencyResponseView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_cursorDrag) {
        const hx::plot::PixelRect& pane = m_model.LastLayout().panes[0];
        m_model.SetCursorHz(*m_cursorDrag, m_model.HzAt(std::clamp(pos.x(), pane.left, pane.right)));
        update();
        emit cursorsChanged();
        return;
    }
    if (m_panFrom) {
        const hx::plot::PixelRect& pane = m_model.LastLayout().panes[0];
        const QPoint d = pos - *m_panFrom;
        const auto which = m_model.PaneAt(m_panFrom->x(), m_panFrom->y()).value_or(BodePane::Magnitude);
        const int height = m_model.LastLayout().panes[static_cast<std::size_t>(which)].height();
        // Each move is one level: the view follows the mouse.
        if (m_model.PanBy(-static_cast<double>(d.x()) / std::max(1, pane.width()), static_cast<double>(d.y()) / std::max(1, height), which))
            changed();
        m_panFrom = pos;
        return;
    }
    if (m_bandStart) {
        m_bandEnd = pos;
        update();
    }
}

void FrequencyResponseView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_cursorDrag) {
        m_cursorDrag.reset();
        return;
    }
    if (m_panFrom && event->button() == Qt::MiddleButton) {
        m_panFrom.reset();
        return;
    }
    if (!m_bandStart || event->button() != Qt::LeftButton) return;
    const QRect band = QRect(*m_bandStart, pos).normalized();
    m_bandStart.reset();
    const bool zoomed = band.width() >= 6 && m_model.ZoomToRect({band.left(), band.top(), band.right(), band.bottom()});
    if (zoomed || m_model.ZoomOut()) changed();
    else update();
}

void FrequencyResponseView::wheelEvent(QWheelEvent* event) {
    const int notches = TakeWheelNotches(event, m_wheelRest);
    event->accept();
    if (notches == 0) return;
    const QPoint pos = event->position().toPoint();
    const double factor = std::pow(hx::plot::BodeModel::kWheelFactor, notches);
    const auto pane = m_model.PaneAt(pos.x(), pos.y());
    const bool values = (event->modifiers() & Qt::ShiftModifier) && pane;
    if (values ? m_model.ZoomValuesAround(*pane, pos.y(), factor) : m_model.ZoomFrequencyAround(pos.x(), factor)) changed();
}

void FrequencyResponseView::keyPressEvent(QKeyEvent* event) {
    const hx::plot::PixelRect& pane = m_model.LastLayout().panes[0];
    bool done = false;
    switch (event->key()) {
    case Qt::Key_Left: done = m_model.PanBy(-kKeyPan, 0); break;
    case Qt::Key_Right: done = m_model.PanBy(kKeyPan, 0); break;
    case Qt::Key_Up: done = m_model.PanBy(0, kKeyPan); break;
    case Qt::Key_Down: done = m_model.PanBy(0, -kKeyPan); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: done = m_model.ZoomFrequencyAround((pane.left + pane.right) / 2, hx::plot::BodeModel::kWheelFactor); break;
    case Qt::Key_Minus: done = m_model.ZoomFrequencyAround((pane.left + pane.right) / 2, 1 / hx::plot::BodeModel::kWheelFactor); break;
    case Qt::Key_Home: done = m_model.FitAll(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (done) changed();
}

void FrequencyResponseView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu();
    menu->exec(event->globalPos());
    menu->deleteLater();
}

}  // namespace hx::gui
