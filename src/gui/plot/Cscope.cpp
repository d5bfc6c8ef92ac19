#include "gui/plot/Cscope.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "core/Globals.h"
#include "core/capture/ChannelSources.h"
#include "core/i18n/StringTable.h"
#include "gui/plot/ScopeInput.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

using hx::plot::ScopeModel;

namespace {


// Caption of a channel type: the source's display name; a code no source
// has shows as the unknown channel.
std::string captionOfType(int32_t type) {
    const std::string name = type > 0 && type <= 0xFFFF ? hx::ChannelSourceName(static_cast<uint16_t>(type)) : "";
    return name.empty() ? hx::LoadString(40120) : name;
}

constexpr QColor kCursorColour[2] = {QColor(255, 255, 255), QColor(255, 0, 255)};

}  // namespace

Cscope::Cscope(QWidget* parent) : QWidget(parent), m_input(std::make_unique<ScopeInput>(*this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_picker = [this](const QColor& preset, const QString& title) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(preset, this, title);
        if (!c.isValid()) return std::nullopt;
        return c;
    };
    syncPointsPerChannel();
    m_model.SetRect(0, 0, width(), height());
}

Cscope::~Cscope() = default;

void Cscope::syncPointsPerChannel() {
    // The capture being shown decides the axis value per point and how much
    // of a list is drawn.
    m_model.SetPointsPerChannel(g_pointsPerChannel);
}

void Cscope::SetRect(int left, int top, int right, int bottom) { m_model.SetRect(left, top, right, bottom); }
void Cscope::SetXRange(float min, float max, int decimals) { m_model.SetXRange(min, max, decimals); }
void Cscope::SetAxisValues(float first, float last) {
    syncPointsPerChannel();
    m_model.SetAxisValues(first, last);
}
void Cscope::SetChannelRange(int channel, float min, float max, int decimals) {
    if (channel < 1 || channel > 4) return;
    m_model.SetChannelRange(channel - 1, min, max, decimals);
}
void Cscope::SetXCaption(const QString& text) { m_model.SetXCaption(text.toStdString()); }
void Cscope::SetYCaption(const QString& text) { m_model.SetYCaption(text.toStdString()); }
void Cscope::SetChannelTypes(int t1, int t2, int t3, int t4) { m_model.SetChannelTypes({t1, t2, t3, t4}, captionOfType); }
void Cscope::SetChannelVisible(int channel, bool visible) {
    if (channel < 1 || channel > 4) return;
    m_model.SetChannelVisible(channel - 1, visible);
}
void Cscope::SetTextColor(hx::plot::Colorref) {}

void Cscope::PlotPoint(int channel, int i, float v, int n) {
    if (channel < 1 || channel > 4) return;
    if (m_model.PlotPoint(channel - 1, i, v, n)) Redraw();
}

void Cscope::PlotBatch(const std::array<const float*, 4>& buffers, int n) {
    bool batchEnd = false;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            if (buffers[k]) batchEnd |= m_model.PlotPoint(k, i, buffers[k][i], n);
    if (batchEnd) Redraw();
}

void Cscope::ClearPoints() { m_model.ClearPoints(); }

void Cscope::ClearAndRedraw() {
    m_model.ClearLists();
    Redraw();
}

void Cscope::ShowWaitText() {
    m_renderer.DrawWaitText(m_model, TableText(50149));
    update();
}

void Cscope::Redraw() {
    syncPointsPerChannel();
    m_model.SetRect(0, 0, width(), height());
    m_renderer.Render(m_model, size());
    update();
}

bool Cscope::PickColour(int which) {
    if (which < 0 || which > 4) return false;
    const QColor preset = ToQColor(which == 0 ? ScopeModel::kBackgroundPreset : ScopeModel::kCurvePresets[which - 1]);
    const auto picked = m_picker ? m_picker(preset, TableText(50144 + which)) : std::nullopt;
    if (!picked) return false;
    if (which == 0) {
        m_model.SetBackground(ToColorref(*picked));
        Redraw();
    } else {
        SetChannelColour(which, *picked);
        emit channelColourChanged(which, *picked);
    }
    return true;
}

void Cscope::SetChannelColour(int channel, const QColor& colour) {
    if (channel < 1 || channel > 4) return;
    m_model.SetChannelColour(channel - 1, ToColorref(colour));
    Redraw();
}

QColor Cscope::ChannelColour(int channel) const {
    if (channel < 1 || channel > 4) return {};
    return ToQColor(m_model.Colour(channel - 1));
}

void Cscope::SetCursorsEnabled(bool on) {
    m_model.SetCursorsEnabled(on);
    update();
    emit cursorsChanged();
}

QMenu* Cscope::CreateContextMenu() {
    auto* menu = new QMenu(this);
    for (int which = 0; which <= 4; ++which)
        menu->addAction(TableText(50144 + which), this, [this, which] { PickColour(which); });
    menu->addSeparator();
    QAction* cursors = menu->addAction(tr("测量光标"));
    cursors->setCheckable(true);
    cursors->setChecked(m_model.CursorsEnabled());
    connect(cursors, &QAction::toggled, this, [this](bool on) { SetCursorsEnabled(on); });
    menu->addSeparator();
    menu->addAction(tr("设为参考"), this, [this] { KeepReference(); });
    if (m_referenceLoader) menu->addAction(tr("读入为参考"), this, [this] { m_referenceLoader(); });
    QAction* clear = menu->addAction(tr("清除参考"), this, [this] { ClearReference(); });
    clear->setEnabled(m_model.HasReference());
    return menu;
}

void Cscope::KeepReference() {
    m_model.KeepReference();
    Redraw();
    emit referenceChanged();
}

void Cscope::ClearReference() {
    m_model.ClearReference();
    Redraw();
    emit referenceChanged();
}

void Cscope::SetMarkers(int channel, std::vector<hx::plot::PlotPointF> points) {
    m_model.SetMarkers(channel - 1, std::move(points));
    update();
}

void Cscope::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QImage Cscope::Screen() const {
    QImage frame = m_model.Dragging() ? m_renderer.WithRubberBand(QRect(QPoint(m_model.DragRect().left, m_model.DragRect().top),
                                                                        QPoint(m_model.DragRect().right, m_model.DragRect().bottom)))
                                      : m_renderer.Composition().copy();
    if (frame.isNull()) return frame;
    QPainter p(&frame);
    paintOverlay(p);
    return frame;
}

void Cscope::paintOverlay(QPainter& p) const {
    const hx::plot::PixelRect& r = m_model.LastLayout().plot;
    // Markers: a small triangle over each point with its number above.
    if (!m_model.Markers().empty() && m_model.ChannelDrawn(m_model.MarkerChannel())) {
        p.save();
        p.setClipRect(QRect(r.left, r.top, r.width() + 1, r.height() + 1));
        p.setRenderHint(QPainter::Antialiasing);
        p.setFont(m_renderer.CaptionFont());
        const QColor colour(255, 255, 255);
        int number = 1;
        for (const auto& m : m_model.Markers()) {
            const int x = m_model.PixelX(m.x), y = std::max(r.top + 22, m_model.PixelY(m_model.MarkerChannel(), m.y));
            const QPointF tip(x, y - 3);
            const QPointF triangle[3] = {tip, QPointF(x - 5, y - 12), QPointF(x + 5, y - 12)};
            p.setPen(colour);
            p.setBrush(colour);
            p.drawPolygon(triangle, 3);
            p.drawText(QRect(x - 10, y - 28, 20, 14), Qt::AlignCenter, QString::number(number++));
        }
        p.restore();
    }
    // The cursor layer: drawn over the finished picture, so moving a cursor
    // never rebuilds the curves.
    if (!m_model.CursorsEnabled()) return;
    p.save();
    p.setClipRect(QRect(r.left, r.top, r.width() + 1, r.height() + 1));
    for (int c = 0; c < 2; ++c) {
        const int x = m_model.CursorPixel(c);
        p.setPen(QPen(kCursorColour[c], 1, Qt::DashLine));
        p.drawLine(x, r.top, x, r.bottom);
        p.drawText(x + 3, r.top + 12, c == 0 ? QStringLiteral("A") : QStringLiteral("B"));
    }
    const auto lines = m_model.CursorReadout();
    p.setFont(m_renderer.CaptionFont());
    const QFontMetrics fm(m_renderer.CaptionFont());
    int w = 0;
    for (const auto& l : lines) w = std::max(w, fm.horizontalAdvance(QString::fromStdString(l)));
    const int h = fm.height() * static_cast<int>(lines.size());
    const QRect box(r.right - w - 12, r.top + 4, w + 8, h + 4);
    p.fillRect(box, QColor(0, 0, 0, 190));
    p.setPen(QColor(230, 230, 230));
    p.drawRect(box);
    // The lines after the three axis lines belong to the channels drawn, in order.
    std::vector<QColor> colours(3, QColor(230, 230, 230));
    for (int k = 0; k < ScopeModel::kChannels; ++k)
        if (m_model.ChannelDrawn(k) && m_model.ValueAt(k, m_model.CursorX(0))) colours.push_back(ToQColor(m_model.Colour(k)));
    int y = box.top() + 2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        p.setPen(i < colours.size() ? colours[i] : colours[0]);
        p.drawText(QRect(box.left() + 4, y, w, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(lines[i]));
        y += fm.height();
    }
    p.restore();
}

void Cscope::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_renderer.Composition().isNull()) {
        p.fillRect(rect(), ToQColor(ScopeModel::kFrame));
        return;
    }
    if (m_model.Dragging()) {
        const auto r = m_model.DragRect();
        p.drawImage(0, 0, m_renderer.WithRubberBand(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom))));
    } else {
        p.drawImage(0, 0, m_renderer.Composition());
    }
    paintOverlay(p);
}

void Cscope::resizeEvent(QResizeEvent*) { Redraw(); }

void Cscope::mousePressEvent(QMouseEvent* event) { m_input->Press(event); }
void Cscope::mouseMoveEvent(QMouseEvent* event) { m_input->Move(event); }
void Cscope::mouseReleaseEvent(QMouseEvent* event) { m_input->Release(event); }

// --- ScopeInput

void ScopeInput::Press(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (auto near = model.CursorNear(pos.x()); near && model.LastLayout().plot.contains(pos.x(), pos.y())) {
        m_cursorDrag = near;
        return;
    }
    model.BeginDrag(pos.x(), pos.y());
    if (model.Dragging()) {
        m_savedCursor = m_scope.cursor();
        m_scope.setCursor(Qt::CrossCursor);
    }
}

void ScopeInput::Move(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (m_cursorDrag) {
        model.DragCursorTo(*m_cursorDrag, pos.x());
        m_scope.update();
        emit m_scope.cursorsChanged();
        return;
    }
    if (model.Dragging()) {
        model.MoveDrag(pos.x(), pos.y());
        m_scope.update();
        return;
    }
    // Over a measurement cursor the pointer says it can be moved.
    if (!(event->buttons() & Qt::LeftButton)) {
        if (model.CursorNear(pos.x()) && model.LastLayout().plot.contains(pos.x(), pos.y()))
            m_scope.setCursor(Qt::SizeHorCursor);
        else if (!m_savedCursor)
            m_scope.unsetCursor();
    }
}

void ScopeInput::Release(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) {
        ShowMessage(&m_scope, QStringLiteral("OnMButtonUp is OK!"));
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (m_cursorDrag) {
        m_cursorDrag.reset();
        return;
    }
    if (m_savedCursor) {
        m_scope.setCursor(*m_savedCursor);
        m_savedCursor.reset();
    }
    switch (m_scope.Model().EndDrag(pos.x(), pos.y())) {
    case hx::plot::ZoomOutcome::ZoomedIn:
    case hx::plot::ZoomOutcome::ZoomedOut: m_scope.Redraw(); break;
    case hx::plot::ZoomOutcome::AtMaximum:
        ShowMessage(&m_scope, TableText(50143));
        m_scope.Redraw();
        break;
    case hx::plot::ZoomOutcome::None: m_scope.update(); break;
    }
}

}  // namespace hx::gui
