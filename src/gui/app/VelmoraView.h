#pragma once
// The one view of the main window: it receives the commands, opens the
// function windows as child windows of itself, enforces the one-window rule
// for the windows that hold the drive link, and destroys closed windows.

#include <QPointer>
#include <QWidget>

class QMdiArea;
class QMdiSubWindow;
class QTimer;

namespace hx::gui {

class CMainFrame;
class FunctionWindow;

class CVelmoraView : public QWidget {
    Q_OBJECT
public:
    explicit CVelmoraView(CMainFrame* frame, QWidget* parent = nullptr);

    QMdiArea* area() const { return m_area; }
    CMainFrame* frame() const { return m_frame; }

    // Opens the connection window; refused while another link window is open.
    FunctionWindow* openConnection();
    // "总线概览": the drives of every configured port.
    FunctionWindow* openBusOverview();
    // Opens the connection window on this port, baud rate and station and
    // connects, as the bus overview asks.
    void connectTo(const QString& port, const QString& baud, int station);
    // Opens the alarm window at the top left; refused while another link window is open.
    FunctionWindow* openAlarm();
    FunctionWindow* openChangeHistory();
    // The waveform and frequency-analysis windows hold the link: one at a time.
    FunctionWindow* openWaveform();
    FunctionWindow* openFourier();
    FunctionWindow* openEnvironment();
    FunctionWindow* openAbout();
    // The setup wizard, at most once (asked again, the open one comes to the
    // front); the frame checks the drive model first.
    FunctionWindow* openWizard();
    // The parameter manager exists at most once and shows again when asked.
    QWidget* openParameterManager();
    // The run-test window; refused while another link window is open.
    FunctionWindow* openRunTest();
    FunctionWindow* openTuning();
    // Closes the windows that use the link (a run test stops its motor on
    // the way), before the port closes for the debug tool or at exit. False
    // when one stays open: its job still needs the port to end (a tuning
    // run putting the previous settings back).
    bool closeLinkWindows();

    // True (after telling the user) when a link window is already open.
    bool refuseWhileLinkBusy();
    // Hosts a window in the view. Closed windows are destroyed 50 ms later.
    QMdiSubWindow* host(FunctionWindow* window, bool maximized = false);
    // The frame around a hosted window, if any.
    QMdiSubWindow* frameOf(QWidget* window) const;

    static constexpr int kStartDelayMs = 500;
    static constexpr int kDestroyDelayMs = 50;

private:
    void onModuleClosed(QWidget* window);

    CMainFrame* m_frame;
    QMdiArea* m_area;
    QTimer* m_startTimer;
};

}  // namespace hx::gui
