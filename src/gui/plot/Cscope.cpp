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

void Cscope::ShowCapture(const std::array<std::vector<float>, 4>& samples, int points, bool replace) {
    if (replace) m_model.BeginReplace();
    m_model.ShowSamples(samples, points);
    if (replace) m_model.EndReplace();
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

}  // namespace hx::gui
