#pragma once
// The main window's status bar: which port and settings the link uses, the
// station, whether the drive answers (and since when it has not), and the
// link's counters since the port was opened. It only looks at the link's
// counters (atomics) a few times a second: it never sends a request, so
// it cannot hold up the window or the drive work.

#include <QStatusBar>
#include <functional>

class QLabel;
class QTimer;

namespace hx::gui {

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // connected: whether the frame is in its connected state (online or offline).
    explicit LinkStatusBar(std::function<bool()> connected, QWidget* parent = nullptr);

    static constexpr int kRefreshMs = 250;

    // Reads the link's state now (the timer does it every kRefreshMs).
    void refresh();

    QString portText() const;
    QString stationText() const;
    QString stateText() const;
    QString countersText() const;
    // True while the drive does not answer (drawn in red).
    bool silent() const { return m_silent; }

private:
    std::function<bool()> m_connected;
    QLabel* m_port;
    QLabel* m_station;
    QLabel* m_state;
    QLabel* m_counters;
    QTimer* m_timer;
    bool m_silent = false;
};

}  // namespace hx::gui
