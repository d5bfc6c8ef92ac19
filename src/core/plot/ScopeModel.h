#pragma once
// The scope plot without a window: what the plot shows and how its numbers
// turn into pixels. Up to four channels of points share one horizontal axis
// (the point index, labelled in time or frequency); each channel has its own
// value scale. A stack of zoom levels keeps every level's ranges so that a
// click zooms back out to exactly what was shown before.
//
// The widget that paints the plot feeds it text sizes and mouse positions;
// everything that decides a range, a grid line or a pixel lives here, so it
// can be checked without a screen.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hx::plot {

// 0x00BBGGRR, as the colours have always been stored.
using Colorref = uint32_t;

// One plot point: the point index and the value.
struct PlotPointF {
    float x = 0;
    float y = 0;
};

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

struct PixelPoint {
    int x = 0, y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// What one zoom level shows.
struct ZoomLevel {
    float xMin = 0, xMax = 0;            // point range
    float axisFirst = 0, axisLast = 0;   // axis values at the left and right end
    std::array<float, 4> chMin{}, chMax{};
};

// Width and height of a text in the caption font.
struct TextSize {
    int width = 0, height = 0;
};
using TextMeasure = std::function<TextSize(const std::string&)>;

// Where everything stands after a layout.
struct Layout {
    PixelRect control;
    PixelRect plot;
    int digitWidth = 0, digitHeight = 0;
    std::array<int, 4> scaleWidth{};  // the wider of each channel's two end labels
};

struct GridLines {
    std::vector<int> fineX, fineY, majorX, majorY;
};

enum class AxisKind { Time, Frequency };

// What a zoom gesture ended in.
enum class ZoomOutcome { None, ZoomedIn, ZoomedOut, AtMaximum };

class ScopeModel {
public:
    static constexpr int kLevels = 15;
    static constexpr int kChannels = 4;
    static constexpr int kSnapPixels = 10;
    static constexpr int kMinZoomPixels = 6;

    // Initial colours and the grid, as the users know them.
    static constexpr Colorref kBackground = 0x000000;
    static constexpr std::array<Colorref, 4> kCurveColours{0x0000FF, 0xFF8000, 0x0080FF, 0x00FFFF};
    static constexpr Colorref kFineGrid = 0x003C00, kMajorGrid = 0x008200, kFrame = 0xD9D9D9;
    static constexpr Colorref kAxisText = 0x080800, kCurveLayerFill = 0x000005, kWaitText = 0x00FFFF;
    // The colour dialog of each context-menu item opens on these.
    static constexpr Colorref kBackgroundPreset = 0x0000FF;
    static constexpr std::array<Colorref, 4> kCurvePresets{0x1508C4, 0x004000, 0xFF0080, 0xFF0000};

    ScopeModel();

    // --- set-up; each acts on the current level and shows at the next redraw
    void SetRect(int left, int top, int right, int bottom);
    void SetXRange(float min, float max, int decimals);
    void SetAxisValues(float first, float last);
    // channel 0..3. At level 0 a span under 10 is widened by 5 on each side,
    // so that a flat signal does not fill the plot with noise.
    void SetChannelRange(int channel, float min, float max, int decimals = 1);
    void SetXCaption(std::string text) { m_xCaption = std::move(text); }
    void SetYCaption(std::string text);
    // Captions come from the caller's source table (`captionOf`).
    void SetChannelTypes(const std::array<int32_t, 4>& types,
                         const std::function<std::string(int32_t)>& captionOf);
    void SetChannelVisible(int channel, bool visible) { m_visible[channel] = visible; }
    void SetChannelColour(int channel, Colorref c) { m_colours[channel] = c; }
    void SetBackground(Colorref c) { m_background = c; }
    // The points per channel of the capture being shown: gives the axis
    // value per point and caps how many points of a list are drawn.
    void SetPointsPerChannel(uint16_t points);
    void SetAxisKind(AxisKind kind) { m_axisKind = kind; }

    // --- points
    // Stores a point; grows the channel's level-0 range when the value does
    // not fit. Returns true after the batch's last point (i == n - 1), once
    // the common ranges are settled: the caller redraws then.
    bool PlotPoint(int channel, int i, float v, int n);
    // Empties the lists and returns to level 0.
    void ClearPoints();
    // Empties the lists only.
    void ClearLists();
    // Channels of the same kind of quantity get one symmetric range.
    void ApplyCommonRanges();

    // --- reference curves: an earlier capture kept to compare, drawn dimmed
    // behind the live curves in the same channel's colour and scale. New
    // points leave it in place; only ClearReference removes it.
    // Keeps the channels' current points as the reference.
    void KeepReference();
    void SetReference(int channel, std::vector<PlotPointF> points) { m_reference[channel] = std::move(points); }
    void ClearReference();
    bool HasReference() const;
    const std::vector<PlotPointF>& ReferencePoints(int ch) const { return m_reference[ch]; }
    // The reference of a channel mapped to pixels (nothing when the channel is not drawn).
    std::vector<PixelPoint> ReferenceVertices(int channel) const;

    // --- markers: points of a channel called out on the plot (the peaks of
    // a spectrum), numbered from 1 in the order given. Cleared with the points.
    void SetMarkers(int channel, std::vector<PlotPointF> points);
    int MarkerChannel() const { return m_markerChannel; }
    const std::vector<PlotPointF>& Markers() const { return m_markers; }

    // --- arithmetic of one redraw
    // Divisions of the fine grid per major cell; vertical keeps its last
    // answer when the range gives none, so it is not const.
    int HorizontalDivisions() const;
    int VerticalDivisions();
    int TickDecimals() const { return m_level < 4 ? m_level : 4; }
    std::string FormatTick(double v) const;
    static std::string FormatAxisLabel(double v);  // "%.0f"
    // Lays out scales and plot from the text sizes and stores the result and
    // the units per pixel for the mapping and the gestures that follow.
    const Layout& ComputeLayout(const TextMeasure& measure);
    const Layout& LastLayout() const { return m_layout; }
    GridLines Grid();  // from the last layout
    // Value labels at the 11 ticks, top to bottom / the axis labels left to right.
    std::vector<std::string> ScaleLabels(int channel) const;
    std::vector<std::string> AxisLabels() const;

    int PixelX(float x) const;
    int PixelY(int channel, float y) const;
    // The points of a channel as the curve's vertices, at most one first,
    // lowest, highest and last vertex per pixel column, so the drawn line
    // covers exactly the pixels the full list would; nothing to draw for a
    // hidden or untyped channel.
    std::vector<PixelPoint> CurveVertices(int channel) const;
    // Every point mapped, without any reduction (reference drawings).
    std::vector<PixelPoint> AllVertices(int channel) const;
    bool ChannelDrawn(int channel) const { return m_types[channel] != 0 && m_visible[channel]; }

    // --- zoom gestures (pixel positions in control coordinates)
    void BeginDrag(int x, int y);
    // The corner follows the mouse, held inside the plot.
    void MoveDrag(int x, int y);
    ZoomOutcome EndDrag(int x, int y);
    void CancelDrag() { m_dragging = false; }
    bool Dragging() const { return m_dragging; }
    PixelRect DragRect() const;
    bool ZoomIn(PixelRect r);  // false at the maximum
    bool ZoomOut();

    // --- measurement cursors (beyond the classic plot)
    void SetCursorsEnabled(bool on);
    bool CursorsEnabled() const { return m_cursorsOn; }
    // Cursor positions are point indices, so they stay put across zooms.
    float CursorX(int which) const { return m_cursor[which]; }
    void SetCursorX(int which, float x) { m_cursor[which] = x; }
    int CursorPixel(int which) const { return PixelX(m_cursor[which]); }
    // The cursor (0 = A, 1 = B) within `tolerance` pixels of x, if any.
    std::optional<int> CursorNear(int x, int tolerance = 5) const;
    // Moves a cursor to the point index under pixel x (held in the plot).
    void DragCursorTo(int which, int x);
    // The readout lines of the plot's corner.
    std::vector<std::string> CursorReadout() const;
    // Value of a channel at a point index: the nearest stored point.
    std::optional<float> ValueAt(int channel, float x) const;

    // --- state
    int Level() const { return m_level; }
    const ZoomLevel& Current() const { return m_levels[m_level]; }
    const ZoomLevel& LevelAt(int i) const { return m_levels[i]; }
    bool ZoomedOnce() const { return m_zoomedOnce; }
    float AxisValuePerPoint() const { return m_axisPerPoint; }
    float XUnitsPerPixel() const { return m_xUpp; }
    float ChannelUnitsPerPixel(int ch) const { return m_chUpp[ch]; }
    int32_t Type(int ch) const { return m_types[ch]; }
    bool Visible(int ch) const { return m_visible[ch]; }
    const std::string& Caption(int ch) const { return m_captions[ch]; }
    const std::string& XCaption() const { return m_xCaption; }
    Colorref Colour(int ch) const { return m_colours[ch]; }
    Colorref Background() const { return m_background; }
    const std::vector<PlotPointF>& Points(int ch) const { return m_points[ch]; }
    uint16_t PointsPerChannel() const { return m_pointsPerChannel; }
    AxisKind Kind() const { return m_axisKind; }
    const PixelRect& ControlRect() const { return m_control; }

private:
    void updateUnitsPerPixel();
    // Points drawn of a channel: the list up to the points per channel.
    std::size_t drawnCount(int ch) const;

    std::array<ZoomLevel, kLevels> m_levels{};
    int m_level = 0;
    PixelRect m_control;
    Layout m_layout;
    float m_axisPerPoint = 0;
    float m_xUpp = 1;
    std::array<float, 4> m_chUpp{1, 1, 1, 1};
    int m_xDecimals = 2, m_ch1Decimals = 1;
    uint16_t m_pointsPerChannel = 200;
    int m_lastVDiv = 0;

    std::array<int32_t, 4> m_types{};
    std::array<bool, 4> m_visible{};
    std::array<std::string, 4> m_captions;
    std::array<Colorref, 4> m_colours = kCurveColours;
    std::array<std::vector<PlotPointF>, 4> m_points;
    std::array<std::vector<PlotPointF>, 4> m_reference;
    std::vector<PlotPointF> m_markers;
    int m_markerChannel = 0;
    std::string m_xCaption;
    Colorref m_background = kBackground;
    AxisKind m_axisKind = AxisKind::Time;

    bool m_dragging = false;
    bool m_zoomedOnce = false;
    PixelPoint m_dragStart, m_dragCorner;

    bool m_cursorsOn = false;
    std::array<float, 2> m_cursor{};
};

}  // namespace hx::plot
