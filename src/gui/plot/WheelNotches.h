#pragma once
// Mouse-wheel turns in whole notches. A notch is 120 eighths of a degree;
// touchpads send it in small parts, kept in rest until they make one.

#include <QWheelEvent>

namespace hx::gui {

inline int TakeWheelNotches(const QWheelEvent* event, int& rest) {
    rest += event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const int notches = rest / 120;
    rest -= notches * 120;
    return notches;
}

}  // namespace hx::gui
