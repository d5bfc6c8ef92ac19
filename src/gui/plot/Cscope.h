#pragma once
// The scope plot shared by the waveform, frequency-analysis and run-test
// windows: up to four curves over one horizontal axis, a value scale per
// channel, zoom by dragging a rectangle and back out by a click, the wheel
// and the keys for zooming and panning, colours and image export from a
// context menu, and optional measurement cursors with statistics.
//
// Cscope only wires three parts together: the model (core/plot, every range
// and pixel rule), the renderer (off-screen images) and the input controller
// (mouse, wheel and keys). Windows hand it a whole capture; it redraws
// once.

#include <QColor>
#include <QList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "core/plot/ScopeModel.h"
#include "gui/plot/ScopeRenderer.h"

class QAction;
class QMenu;

namespace hx::gui {

class ScopeInput;

// Asks the width and height of an image to save, starting at `current`;
// nullopt when cancelled. The plots' "save image" share it.
std::optional<QSize> AskImageSize(QWidget* parent, QSize current);

class Cscope : public QWidget {
    Q_OBJECT
public:
    explicit Cscope(QWidget* parent = nullptr);
    ~Cscope() override;

    // --- set-up (channels 1..4); shown at the next redraw
    void SetRect(int left, int top, int right, int bottom);
    void SetXRange(float min, float max, int decimals);
    void SetAxisValues(float first, float last);
    // The points per channel of the capture this plot shows: they decide the
    // axis value per point and how much of a list is drawn. Only the plot's
    // owner knows them, so it tells the plot before setting the axis values;
    // another window's capture never changes them.
    void SetPointsPerChannel(int points);
    void SetChannelRange(int channel, float min, float max, int decimals = 1);
    void SetXCaption(const QString& text);
    void SetYCaption(const QString& text);
    void SetChannelTypes(int t1, int t2, int t3, int t4);
    void SetChannelVisible(int channel, bool visible);
    // The axis text keeps its one colour whatever is asked.
    void SetTextColor(hx::plot::Colorref colour);
    void SetAxisKind(hx::plot::AxisKind kind) { m_model.SetAxisKind(kind); }

    // --- points
    // Shows a capture: the first `points` samples of every channel with a
    // source, with one redraw. `replace`: a new capture of a running series
    // in place of the last one; the zoom level stays, the ranges are found
    // afresh from -5..5 as at a start, and the plot changes once.
    void ShowCapture(const std::array<std::vector<float>, 4>& samples, int points, bool replace = false);
    void ClearPoints();
    void ClearAndRedraw();
    void ShowWaitText();
    void Redraw();

    // --- colours, cursors, views and images, also reached from the context menu
    // which: 0 = background, 1..4 = channel curve. Opens the colour dialog on
    // the item's preset colour; true when a colour was taken.
    bool PickColour(int which);
    void SetChannelColour(int channel, const QColor& colour);
    QColor ChannelColour(int channel) const;
    void SetCursorsEnabled(bool on);
    bool CursorsEnabled() const { return m_model.CursorsEnabled(); }
    // Back to the whole recording (the context menu's "适合全部", Home).
    void FitAll();
    // The plot as the screen shows it (curves, cursors, readout) at `size`;
    // the widget's own size when empty.
    QImage RenderImage(QSize size = {}) const;
    // PNG, or SVG for a path ending in ".svg"; false with a reason.
    bool SaveImage(const QString& path, QSize size, QString* error) const;
    void CopyImage() const;
    // Asks for a file and a size, then saves (the menu's "保存图片…").
    void SaveImageAs();
    // The menu the right button opens (the caller owns it).
    QMenu* CreateContextMenu();
    // --- reference curves ("设为参考" / "清除参考" in the menu): a capture kept
    // to compare, drawn dimmed in its channel's colour behind the live
    // curves until cleared; a window that can read a recording as the
    // reference gives the loader ("读入为参考").
    void KeepReference();
    void SetReference(const std::array<std::vector<hx::plot::PlotPointF>, 4>& channels);
    void ClearReference();
    bool HasReference() const { return !m_model.Extras().empty(); }
    void SetReferenceLoader(std::function<void()> loader) { m_referenceLoader = std::move(loader); }
    // A window's own actions, added at the end of the context menu.
    void AddMenuAction(QAction* action) { m_extraActions.push_back(action); }

    // Tests and the colour dialog: how a colour is chosen. Gets the preset and
    // the dialog title; an empty result is a cancel.
    using ColourPicker = std::function<std::optional<QColor>(const QColor& preset, const QString& title)>;
    void SetColourPicker(ColourPicker picker) { m_picker = std::move(picker); }
    // How the size of a saved image is chosen (starts at the widget's size).
    using SizePicker = std::function<std::optional<QSize>(QSize current)>;
    void SetSizePicker(SizePicker picker) { m_sizePicker = std::move(picker); }

    hx::plot::ScopeModel& Model() { return m_model; }
    const hx::plot::ScopeModel& Model() const { return m_model; }
    ScopeRenderer& Renderer() { return m_renderer; }
    // What the screen shows: the composition with the cursors and any rubber band.
    QImage Screen() const;
    // Where the readout stands (control coordinates); empty without cursors.
    QRect ReadoutRect() const;

signals:
    // The user picked a new curve colour for channel 1..4.
    void channelColourChanged(int channel, const QColor& colour);
    // A measurement cursor moved or the cursors were switched.
    void cursorsChanged();
    // A reference was kept, read or cleared.
    void referenceChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class ScopeInput;
    QRect readoutRect(const hx::plot::Readout& readout) const;

    hx::plot::ScopeModel m_model;
    ScopeRenderer m_renderer;
    std::unique_ptr<ScopeInput> m_input;
    ColourPicker m_picker;
    SizePicker m_sizePicker;
    QList<QAction*> m_extraActions;
    std::function<void()> m_referenceLoader;
    // The readout's offset from its place at the plot's top right corner,
    // where the user dragged it.
    QPoint m_readoutOffset;
};

}  // namespace hx::gui
