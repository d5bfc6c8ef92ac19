#pragma once
// Turns the mouse, the wheel and the keys on the scope into model changes:
// the rubber-band zoom and the click that zooms out, a click on a channel's
// caption that takes its curve out or puts it back, dragging a measurement
// cursor or the readout, wheel zoom (Shift: the value axes), middle-button
// panning, and the keys (arrows pan, + and - zoom, Home fits all).

#include <QCursor>
#include <QPoint>
#include <optional>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace hx::gui {

class Cscope;

class ScopeInput {
public:
    explicit ScopeInput(Cscope& scope) : m_scope(scope) {}

    void Press(QMouseEvent* event);
    void Move(QMouseEvent* event);
    void Release(QMouseEvent* event);
    void Wheel(QWheelEvent* event);
    // true when the key was the plot's.
    bool Key(QKeyEvent* event);
    // The cursor being dragged (0 = A, 1 = B), if any.
    std::optional<int> DraggedCursor() const { return m_cursorDrag; }

    // One wheel notch zooms by this much (in: the span times kWheelZoom).
    static constexpr double kWheelZoom = 0.8;
    // An arrow key moves the view by this share of its span.
    static constexpr double kKeyPan = 0.1;

private:
    Cscope& m_scope;
    std::optional<int> m_cursorDrag;
    std::optional<QCursor> m_savedCursor;
    std::optional<QPoint> m_readoutDrag;  // where the drag took the readout
    std::optional<int> m_captionPress;    // the caption the left button went down on
    int m_wheelRest = 0;                  // eighths of a degree not yet a notch
};

}  // namespace hx::gui
