#pragma once
// Turns the mouse on the scope into model changes: the rubber-band zoom and
// the click that zooms out, dragging a measurement cursor, the middle-button
// message and the context menu.

#include <QCursor>
#include <QPoint>
#include <optional>

class QMouseEvent;

namespace hx::gui {

class Cscope;

class ScopeInput {
public:
    explicit ScopeInput(Cscope& scope) : m_scope(scope) {}

    void Press(QMouseEvent* event);
    void Move(QMouseEvent* event);
    void Release(QMouseEvent* event);
    // The cursor being dragged (0 = A, 1 = B), if any.
    std::optional<int> DraggedCursor() const { return m_cursorDrag; }

private:
    Cscope& m_scope;
    std::optional<int> m_cursorDrag;
    std::optional<QCursor> m_savedCursor;
};

}  // namespace hx::gui
