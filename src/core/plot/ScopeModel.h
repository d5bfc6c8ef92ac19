#pragma once
// The scope plot without a window: what the plot shows and how its numbers
// turn into pixels. Up to four channels of points share one horizontal axis
// (the point index, labelled in time or frequency); each channel has its own
// value scale. A stack of zoom levels keeps every level's ranges so that a
// click zooms back out to exactly what was shown before; wheel steps and
// pans are levels of the same stack.
//
// The widget that paints the plot feeds it text sizes and mouse positions;
// everything that decides a range, a tick, a caption's place or a pixel
// lives here, so it can be checked without a screen.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/plot/Axis.h"
#include "core/plot/Statistics.h"

namespace hx::plot {

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
    bool intersects(const PixelRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    bool operator==(const PixelRect&) const = default;
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
    bool operator==(const ZoomLevel&) const = default;
};

// Width and height of a text in the caption font.
struct TextSize {
    int width = 0, height = 0;
};
using TextMeasure = std::function<TextSize(const std::string&)>;

// A channel caption's place above the plot; `elided` when the text had to
// be shortened to fit (the widget then shows the whole text as a tool tip).
struct CaptionBox {
    int channel = 0;
    PixelRect rect;
    bool elided = false;
    bool operator==(const CaptionBox&) const = default;
};

// Where everything stands after a layout.
struct Layout {
    PixelRect control;
    PixelRect plot;
    int digitWidth = 0, digitHeight = 0;
    std::array<int, 4> scaleWidth{};   // the widest label of each channel's scale
    std::array<int, 4> scaleLeft{};    // left edge of each channel's label column
    std::vector<CaptionBox> captions;  // drawn channels, never overlapping
    TickSet xTicks;                    // in the display unit of the axis
    std::array<TickSet, 4> yTicks;     // per drawn channel
    int gridChannel = 0;               // whose ticks the horizontal grid lines follow
    std::string xCaption;              // with the display unit ("时间(ms)")
    bool operator==(const Layout&) const = default;
};

struct GridLines {
    std::vector<int> fineX, fineY, majorX, majorY;
};

enum class AxisKind { Time, Frequency };

// What a zoom gesture ended in.
enum class ZoomOutcome { None, ZoomedIn, ZoomedOut, AtMaximum };

// A trace drawn behind the live curves on one channel's scale (a reference
// recording, a previous capture): dimmed toward the plot's background.
struct ExtraSeries {
    int channel = 0;  // 0..3: whose value scale it uses
    std::vector<PlotPointF> points;
    Colorref colour = 0xFFFFFF;
    bool dimmed = true;
};

// A labelled point over the curves (a spectrum peak): drawn with the cursors.
struct Marker {
    int channel = 0;
    float x = 0, y = 0;  // point index and value
    std::string label;
    Colorref colour = 0xFFFFFF;
};

// The measurement readout: the cursors' places, then one row per drawn
// channel, named as its caption (signal and unit), with its values at the
// cursors and its statistics between them.
struct Readout {
    std::vector<std::string> lines;    // "A: 10.00 ms   B: 30.00 ms", "Δt: …   1/Δt: …"
    std::vector<std::string> columns;  // heads of the table
    struct Row {
        int channel = 0;
        std::vector<std::string> cells;
    };
    std::vector<Row> rows;
    bool operator==(const Readout& o) const {
        if (lines != o.lines || columns != o.columns || rows.size() != o.rows.size()) return false;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].channel != o.rows[i].channel || rows[i].cells != o.rows[i].cells) return false;
        return true;
    }
};

// Where the labels of markers at these pixels stand: beside each marker,
// above, below or to the left where that is free, so that no two labels
// overlap (nor a label another marker); held inside bounds.
std::vector<PixelRect> PlaceMarkerLabels(const std::vector<PixelPoint>& at, const std::vector<TextSize>& sizes,
                                         const PixelRect& bounds);

// Where a cursor's letter stands: at the plot's top beside its line, or
// just under the readout box when that would cover it.
PixelRect CursorLetterRect(int cursorX, const PixelRect& plot, const PixelRect& readout, TextSize letter);

class ScopeModel {
public:
    static constexpr int kLevels = 15;
    static constexpr int kChannels = 4;
    static constexpr int kSnapPixels = 10;
    static constexpr int kMinZoomPixels = 6;
    // The control's top right corner stays free for a window's own button.
    static constexpr int kCornerReserve = 24;

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
    // The caption's unit suffix ("(us)", "(ms)", "(Hz)") says what the axis
    // values are in; the axis then shows them in the unit that fits.
    void SetXCaption(std::string text);
    void SetYCaption(std::string text);
    // Captions come from the caller's source table (`captionOf`).
    void SetChannelTypes(const std::array<int32_t, 4>& types,
                         const std::function<std::string(int32_t)>& captionOf);
    void SetChannelVisible(int channel, bool visible) { m_visible[channel] = visible; }
    // A click on its caption takes a shown channel's curve and scale out of
    // the picture and puts them back; the caption stays, greyed, to be
    // clicked again. A channel given another type shows again.
    void SetChannelMuted(int channel, bool muted) { m_muted[channel] = muted; }
    bool Muted(int channel) const { return m_muted[channel]; }
    void SetChannelColour(int channel, Colorref c) { m_colours[channel] = c; }
    void SetBackground(Colorref c) { m_background = c; }
    // The points per channel of the capture being shown: gives the axis
    // value per point and caps how many points of a list are drawn.
    void SetPointsPerChannel(uint16_t points);
    void SetAxisKind(AxisKind kind) { m_axisKind = kind; }

    // --- points
    // Stores a point; grows the channel's level-0 range when the value does
    // not fit. A caller feeding points one by one settles the common ranges
    // (ApplyCommonRanges) after its last.
    void PlotPoint(int channel, int i, float v);
    // A whole capture at once: the first `points` samples of every channel
    // with a source and that many samples, then the common ranges.
    void ShowSamples(const std::array<std::vector<float>, 4>& samples, int points);
    // Empties the lists and returns to level 0.
    void ClearPoints();
    // Empties the lists only (the zoom level and the layout's widths stay).
    void ClearLists();
    // Channels of the same kind of quantity get one symmetric range.
    void ApplyCommonRanges();
    // A new capture of a series in place of the shown one: between the two
    // calls the lists are fed as at a start (empty, level 0's ranges from
    // -5..5 up), and afterwards the level the user was looking at is back,
    // with its own ranges.
    void BeginReplace();
    void EndReplace();
    // Changes whenever a list changes: what a drawing of the curves depends on.
    uint64_t DataVersion() const { return m_dataVersion; }

    // --- traces and markers beside the four channels
    void SetExtraSeries(std::vector<ExtraSeries> series);
    const std::vector<ExtraSeries>& Extras() const { return m_extras; }
    void SetMarkers(std::vector<Marker> markers) { m_markers = std::move(markers); }
    const std::vector<Marker>& Markers() const { return m_markers; }

    // --- arithmetic of one redraw
    // Lays out captions, scales, ticks and plot from the text sizes and
    // stores the result and the units per pixel for the mapping and the
    // gestures that follow.
    const Layout& ComputeLayout(const TextMeasure& measure);
    const Layout& LastLayout() const { return m_layout; }
    GridLines Grid() const;  // from the last layout
    // The horizontal-axis caption with the unit its labels are shown in.
    std::string DisplayXCaption() const;
    DisplayUnit XDisplayUnit() const;

    int PixelX(float x) const;
    int PixelY(int channel, float y) const;
    // The points of a channel as the curve's vertices, at most one first,
    // lowest, highest and last vertex per pixel column, so the drawn line
    // covers exactly the pixels the full list would; nothing to draw for a
    // hidden or untyped channel.
    std::vector<PixelPoint> CurveVertices(int channel) const;
    // Every point mapped, without any reduction (reference drawings).
    std::vector<PixelPoint> AllVertices(int channel) const;
    // An extra series' vertices, reduced in the same way.
    std::vector<PixelPoint> SeriesVertices(const ExtraSeries& series) const;
    bool ChannelDrawn(int channel) const { return ChannelShown(channel) && !m_muted[channel]; }
    // Its caption is shown (muted or not).
    bool ChannelShown(int channel) const { return m_types[channel] != 0 && m_visible[channel]; }
    // The caption under pixel (x, y) of the last layout, if any.
    std::optional<int> CaptionAt(int x, int y) const;

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

    // Wheel, keys and panning: each is one level of the stack (a full stack
    // forgets its oldest zoom, never the full view at level 0). false when
    // nothing changed.
    // factor < 1 zooms in: the time axis around pixel x...
    bool ZoomTimeAround(int x, double factor);
    // ...or every value axis around pixel row y.
    bool ZoomValuesAround(int y, double factor);
    // Shifts the view by a share of its span (0.1 = a tenth to the right / up).
    bool PanBy(double timeShare, double valueShare);
    // Middle-button drag: the view follows the mouse as one level.
    void BeginPan(int x, int y);
    void MovePan(int x, int y);
    void EndPan();
    bool Panning() const { return m_panning; }
    // Back to level 0: the whole recording.
    bool FitAll();

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
    // Positions, values and statistics between the cursors.
    Readout CursorReadout() const;
    ChannelStatistics StatisticsBetweenCursors(int channel) const;
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
    // The colour of a channel's scale labels and caption: its curve colour,
    // darkened where needed to read on the frame.
    Colorref LabelColour(int ch) const { return ReadableOn(m_colours[ch], kFrame); }
    const std::vector<PlotPointF>& Points(int ch) const { return m_points[ch]; }
    uint16_t PointsPerChannel() const { return m_pointsPerChannel; }
    AxisKind Kind() const { return m_axisKind; }
    const PixelRect& ControlRect() const { return m_control; }

private:
    void updateUnitsPerPixel();
    // Points drawn of a channel: the list up to the points per channel.
    std::size_t drawnCount(int ch) const;
    std::vector<PixelPoint> reduce(const std::vector<PlotPointF>& pts, std::size_t n, int channel) const;
    // The axis value of a point index, by level 0's linear relation.
    double axisAt(double x) const;
    // The level after `next` replaced the view; keeps the stack's rules.
    void pushLevel(const ZoomLevel& next);
    // x range held inside level 0's, with its axis values.
    ZoomLevel withTimeRange(ZoomLevel next, double xMin, double xMax) const;
    double secondsPerPoint() const;

    std::array<ZoomLevel, kLevels> m_levels{};
    int m_level = 0;
    PixelRect m_control;
    Layout m_layout;
    float m_axisPerPoint = 0;
    float m_xUpp = 1;
    std::array<float, 4> m_chUpp{1, 1, 1, 1};
    int m_xDecimals = 2, m_ch1Decimals = 1;
    uint16_t m_pointsPerChannel = 200;

    std::array<int32_t, 4> m_types{};
    std::array<bool, 4> m_visible{};
    std::array<bool, 4> m_muted{};
    std::array<std::string, 4> m_captions;
    std::array<Colorref, 4> m_colours = kCurveColours;
    std::array<std::vector<PlotPointF>, 4> m_points;
    uint64_t m_dataVersion = 0;
    // The value of the point nearest to point index x among the first n.
    static std::optional<float> NearestValue(const std::vector<PlotPointF>& pts, std::size_t n, float x);

    std::vector<ExtraSeries> m_extras;
    std::vector<Marker> m_markers;
    std::string m_xCaption;
    AxisCaption m_xAxis;
    Colorref m_background = kBackground;
    AxisKind m_axisKind = AxisKind::Time;
    // Scale widths never shrink between captures of a series, so the plot
    // keeps its width while cyclic captures come in; a fresh start resets them.
    std::array<int, 4> m_scaleFloor{};

    bool m_dragging = false;
    bool m_zoomedOnce = false;
    PixelPoint m_dragStart, m_dragCorner;

    int m_replacedLevel = -1;

    bool m_panning = false;
    bool m_panMoved = false;
    PixelPoint m_panStart;
    ZoomLevel m_panBase;

    bool m_cursorsOn = false;
    std::array<float, 2> m_cursor{};
    // Built when the statistics are first asked for after the lists changed.
    // An index points into its lists, so a copy of the model starts without.
    struct StatsCache {
        std::array<StatisticsIndex, 4> index;
        std::array<uint64_t, 4> version{};
        std::array<std::size_t, 4> count{};
        StatsCache() = default;
        StatsCache(const StatsCache&) {}
        StatsCache& operator=(const StatsCache&) {
            version = {};
            return *this;
        }
    };
    mutable StatsCache m_stats;
};

}  // namespace hx::plot
