#include "gui/plot/Cscope.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QSpinBox>
#include <QToolTip>
#include <utility>
#include <QWheelEvent>
#include <cmath>

#include "core/capture/ChannelSources.h"
#include "core/i18n/StringTable.h"
#include "gui/widgets/FileDialogs.h"
#include "gui/plot/ScopeExport.h"
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

QRect toQRect(const hx::plot::PixelRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)); }


}  // namespace

// Width and height of a saved image, starting at the plot's own size.
std::optional<QSize> AskImageSize(QWidget* parent, QSize current) {
    QDialog dialog(parent);
    dialog.setWindowTitle(Cscope::tr("图片大小"));
    auto* form = new QFormLayout(&dialog);
    auto* width = new QSpinBox;
    auto* height = new QSpinBox;
    for (QSpinBox* box : {width, height}) {
        box->setRange(16, 8000);
        box->setSuffix(" px");
    }
    width->setValue(current.width());
    height->setValue(current.height());
    form->addRow(Cscope::tr("宽度"), width);
    form->addRow(Cscope::tr("高度"), height);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return QSize(width->value(), height->value());
}

Cscope::Cscope(QWidget* parent) : QWidget(parent), m_input(std::make_unique<ScopeInput>(*this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // The keys work once the plot was clicked or wheeled over.
    setFocusPolicy(Qt::WheelFocus);
    m_picker = [this](const QColor& preset, const QString& title) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(preset, this, title);
        if (!c.isValid()) return std::nullopt;
        return c;
    };
    m_sizePicker = [this](QSize current) { return AskImageSize(this, current); };
    m_model.SetRect(0, 0, width(), height());
}

Cscope::~Cscope() = default;

void Cscope::SetRect(int left, int top, int right, int bottom) { m_model.SetRect(left, top, right, bottom); }
void Cscope::SetXRange(float min, float max, int decimals) { m_model.SetXRange(min, max, decimals); }
void Cscope::SetAxisValues(float first, float last) { m_model.SetAxisValues(first, last); }
void Cscope::SetPointsPerChannel(int points) { m_model.SetPointsPerChannel(static_cast<uint16_t>(points)); }
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

void Cscope::ReplaceBatch(const std::array<const float*, 4>& buffers, int n) {
    m_model.BeginReplace();
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            if (buffers[k]) m_model.PlotPoint(k, i, buffers[k][i], n);
    m_model.EndReplace();
    Redraw();
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

void Cscope::FitAll() {
    if (m_model.FitAll()) Redraw();
}

QImage Cscope::RenderImage(QSize size) const {
    if (size.isEmpty() || size == this->size()) return Screen();
    return RenderScopeImage(m_model, size, m_readoutOffset);
}

bool Cscope::SaveImage(const QString& path, QSize size, QString* error) const {
    if (size.isEmpty()) size = this->size();
    return SaveScopeImage(m_model, path, size, m_readoutOffset, error);
}

void Cscope::CopyImage() const { QApplication::clipboard()->setImage(Screen()); }

void Cscope::SaveImageAs() {
    const QString path = AskFile(this, {true, tr("保存图片"), QStringLiteral("PNG (*.png);;SVG (*.svg)"), "png", {}});
    if (path.isEmpty()) return;
    const auto size = m_sizePicker ? m_sizePicker(this->size()) : std::optional<QSize>(this->size());
    if (!size) return;
    QString error;
    if (!SaveImage(path, *size, &error)) ShowMessage(this, tr("无法保存图片：%1").arg(error), {}, MessageIcon::Warning);
}

void Cscope::KeepReference() {
    std::array<std::vector<hx::plot::PlotPointF>, 4> channels;
    for (int k = 0; k < ScopeModel::kChannels; ++k)
        if (m_model.Type(k) != 0) channels[k] = m_model.Points(k);
    SetReference(channels);
}

void Cscope::SetReference(const std::array<std::vector<hx::plot::PlotPointF>, 4>& channels) {
    std::vector<hx::plot::ExtraSeries> series;
    for (int k = 0; k < ScopeModel::kChannels; ++k)
        if (!channels[k].empty()) series.push_back({k, channels[k], m_model.Colour(k), true});
    m_model.SetExtraSeries(std::move(series));
    Redraw();
    emit referenceChanged();
}

void Cscope::ClearReference() {
    m_model.SetExtraSeries({});
    Redraw();
    emit referenceChanged();
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
    QAction* fit = menu->addAction(tr("适合全部"), this, &Cscope::FitAll);
    fit->setShortcut(Qt::Key_Home);
    fit->setEnabled(m_model.Level() > 0);
    menu->addSeparator();
    menu->addAction(tr("保存图片…"), this, &Cscope::SaveImageAs);
    menu->addAction(tr("复制图片"), this, &Cscope::CopyImage);
    menu->addSeparator();
    menu->addAction(tr("设为参考"), this, &Cscope::KeepReference);
    if (m_referenceLoader) menu->addAction(tr("读入为参考"), this, [this] { m_referenceLoader(); });
    menu->addAction(tr("清除参考"), this, &Cscope::ClearReference)->setEnabled(HasReference());
    if (!m_extraActions.isEmpty()) {
        menu->addSeparator();
        for (QAction* a : m_extraActions) menu->addAction(a);
    }
    return menu;
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
    const hx::plot::Readout readout = m_model.CursorReadout();
    m_renderer.PaintOverlay(p, m_model, readout, readoutRect(readout).topLeft());
    return frame;
}

QRect Cscope::readoutRect(const hx::plot::Readout& readout) const {
    const QSize size = m_renderer.ReadoutSize(readout);
    if (size.isEmpty()) return {};
    return QRect(ReadoutPlace(m_model, size, m_readoutOffset), size);
}

QRect Cscope::ReadoutRect() const { return readoutRect(m_model.CursorReadout()); }

bool Cscope::event(QEvent* event) {
    // A shortened caption shows its whole text when pointed at.
    if (event->type() == QEvent::ToolTip) {
        const QPoint at = static_cast<QHelpEvent*>(event)->pos();
        for (const hx::plot::CaptionBox& c : m_model.LastLayout().captions)
            if (c.elided && toQRect(c.rect).contains(at)) {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                   QString::fromStdString(m_model.Caption(c.channel)), this);
                return true;
            }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void Cscope::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (m_renderer.Composition().isNull()) {
        p.fillRect(rect(), ToQColor(ScopeModel::kFrame));
        return;
    }
    if (m_model.Dragging()) {
        const auto r = m_model.DragRect();
        p.drawImage(0, 0, m_renderer.WithRubberBand(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom))));
    }
    const hx::plot::Readout readout = m_model.CursorReadout();
    const QRect box = readoutRect(readout);
    if (!m_model.Dragging()) {
        // Only what changed is copied (a cursor drag repaints two strips and
        // the readout), and nothing under the opaque readout.
        for (const QRect& dirty : event->region() - box) p.drawImage(dirty.topLeft(), m_renderer.Composition(), dirty);
    }
    m_renderer.PaintOverlay(p, m_model, readout, box.topLeft());
}

void Cscope::resizeEvent(QResizeEvent*) { Redraw(); }

void Cscope::mousePressEvent(QMouseEvent* event) { m_input->Press(event); }
void Cscope::mouseMoveEvent(QMouseEvent* event) { m_input->Move(event); }
void Cscope::mouseReleaseEvent(QMouseEvent* event) { m_input->Release(event); }
void Cscope::wheelEvent(QWheelEvent* event) { m_input->Wheel(event); }
void Cscope::keyPressEvent(QKeyEvent* event) {
    if (!m_input->Key(event)) QWidget::keyPressEvent(event);
}

// --- ScopeInput

void ScopeInput::Press(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (event->button() == Qt::MiddleButton) {
        model.BeginPan(pos.x(), pos.y());
        m_savedCursor = m_scope.cursor();
        m_scope.setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (const QRect box = m_scope.ReadoutRect(); box.contains(pos)) {
        // The readout goes where the user puts it.
        m_readoutDrag = pos - m_scope.m_readoutOffset;
        return;
    }
    if (auto near = model.CursorNear(pos.x()); near && model.LastLayout().plot.contains(pos.x(), pos.y())) {
        m_cursorDrag = near;
        return;
    }
    m_captionPress = model.CaptionAt(pos.x(), pos.y());
    model.BeginDrag(pos.x(), pos.y());
    if (model.Dragging()) {
        m_savedCursor = m_scope.cursor();
        m_scope.setCursor(Qt::CrossCursor);
    }
}

void ScopeInput::Move(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (model.Panning()) {
        model.MovePan(pos.x(), pos.y());
        m_scope.Redraw();
        return;
    }
    if (m_readoutDrag) {
        m_scope.m_readoutOffset = pos - *m_readoutDrag;
        m_scope.update();
        return;
    }
    if (m_cursorDrag) {
        // The old and the new line with its letter, and the readout before and after.
        const hx::plot::PixelRect& p = model.LastLayout().plot;
        auto strip = [&p](int x) { return QRect(x - 2, p.top, 20, p.height() + 2); };
        QRegion dirty = strip(model.CursorPixel(*m_cursorDrag)) | m_scope.ReadoutRect();
        model.DragCursorTo(*m_cursorDrag, pos.x());
        dirty |= strip(model.CursorPixel(*m_cursorDrag)) | m_scope.ReadoutRect();
        m_scope.update(dirty);
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
    auto& model = m_scope.Model();
    if (event->button() == Qt::MiddleButton) {
        if (!model.Panning()) return;
        model.MovePan(pos.x(), pos.y());
        model.EndPan();
        if (m_savedCursor) {
            m_scope.setCursor(*m_savedCursor);
            m_savedCursor.reset();
        }
        m_scope.Redraw();
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (m_readoutDrag) {
        m_readoutDrag.reset();
        return;
    }
    if (m_cursorDrag) {
        m_cursorDrag.reset();
        return;
    }
    if (m_savedCursor) {
        m_scope.setCursor(*m_savedCursor);
        m_savedCursor.reset();
    }
    const std::optional<int> caption = std::exchange(m_captionPress, std::nullopt);
    switch (model.EndDrag(pos.x(), pos.y())) {
    case hx::plot::ZoomOutcome::ZoomedIn:
    case hx::plot::ZoomOutcome::ZoomedOut: m_scope.Redraw(); break;
    case hx::plot::ZoomOutcome::AtMaximum:
        ShowMessage(&m_scope, TableText(50143));
        m_scope.Redraw();
        break;
    case hx::plot::ZoomOutcome::None:
        // Pressed and released on the same caption: its curve goes or comes back.
        if (caption && model.CaptionAt(pos.x(), pos.y()) == caption) {
            model.SetChannelMuted(*caption, !model.Muted(*caption));
            m_scope.Redraw();
            return;
        }
        m_scope.update();
        break;
    }
}

void ScopeInput::Wheel(QWheelEvent* event) {
    // A notch is 120 eighths of a degree; touchpads send it in small parts.
    m_wheelRest += event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const int notches = m_wheelRest / 120;
    m_wheelRest -= notches * 120;
    event->accept();
    if (notches == 0) return;
    const QPoint pos = event->position().toPoint();
    const double factor = std::pow(kWheelZoom, notches);  // away from the user: in
    auto& model = m_scope.Model();
    const bool values = event->modifiers() & Qt::ShiftModifier;
    if (values ? model.ZoomValuesAround(pos.y(), factor) : model.ZoomTimeAround(pos.x(), factor)) m_scope.Redraw();
}

bool ScopeInput::Key(QKeyEvent* event) {
    auto& model = m_scope.Model();
    const hx::plot::PixelRect& p = model.LastLayout().plot;
    bool changed = false;
    switch (event->key()) {
    case Qt::Key_Left: changed = model.PanBy(-kKeyPan, 0); break;
    case Qt::Key_Right: changed = model.PanBy(kKeyPan, 0); break;
    case Qt::Key_Up: changed = model.PanBy(0, kKeyPan); break;
    case Qt::Key_Down: changed = model.PanBy(0, -kKeyPan); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: changed = model.ZoomTimeAround((p.left + p.right) / 2, kWheelZoom); break;
    case Qt::Key_Minus: changed = model.ZoomTimeAround((p.left + p.right) / 2, 1 / kWheelZoom); break;
    case Qt::Key_Home: changed = model.FitAll(); break;
    default: return false;
    }
    event->accept();
    if (changed) m_scope.Redraw();
    return true;
}

}  // namespace hx::gui
