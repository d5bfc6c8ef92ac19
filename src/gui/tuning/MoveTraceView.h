#pragma once
// The standard move before and after tuning as the drive recorded it: the
// following error against time, each run in its colour, the band within
// which the move counts as settled marked, so the figures beside it
// (settling, overshoot, peak error) can be seen where they come from.

#include <QWidget>

#include "core/tuning/TuneDrive.h"

namespace hx::gui {

class MoveTraceView : public QWidget {
    Q_OBJECT
public:
    explicit MoveTraceView(QWidget* parent = nullptr);
    // Either may be without traces (a move that did not run).
    void SetMoves(const hx::tuning::MoveFigures& before, const hx::tuning::MoveFigures& after);
    void Clear();
    bool ShowsBoth() const { return !m_before.error.empty() && !m_after.error.empty(); }
    QSize sizeHint() const override { return {320, 110}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    hx::tuning::MoveFigures m_before, m_after;
};

}  // namespace hx::gui
