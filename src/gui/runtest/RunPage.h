#pragma once
// What the run-test window asks of each of its mode pages. A page owns its
// fields and their controls; the drive work goes through the window's run
// session (its request queue and its capture worker), never on this thread.

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "core/runtest/RunSession.h"

namespace hx::gui {

// The window, as its pages see it.
class RunPageHost {
public:
    virtual ~RunPageHost() = default;
    // The drive as it stands now, for a request or a run about to start.
    virtual hx::DriveHandle Drive() const = 0;
    // The program's change gate, for the tuning settings a page writes.
    virtual hx::ChangeGate& Gate() const = 0;
    // Runs work on the session's request queue, then done(result) on the UI
    // thread (dropped when the window has gone).
    virtual void Request(std::function<void()> work, std::function<void()> done) = 0;
    // A request the drive did not answer; told once per burst, not once per write.
    virtual void ReportNoAnswer(uint16_t address) = 0;
    // Stops what runs (if anything) and starts the current page's run again,
    // as a stop and a start do, without waiting for the button: restMs after
    // the last capture has ended, so that the machine starts from rest. The
    // capture shown stays on the plot as the reference, unless keepOldReference
    // says the one kept before stays (a run compared with the same first run).
    virtual void RunAgain(int restMs, bool keepOldReference) = 0;
};

class RunPage : public QWidget {
    Q_OBJECT
public:
    RunPage(RunPageHost* host, QWidget* parent) : QWidget(parent), m_host(host) {}

    // Brings the fields up to date when the page's mode is entered.
    virtual void LoadFromDrive() = 0;
    // Checks the fields and builds the start (nullopt after telling the
    // user; nothing starts). codes: the four channels.
    virtual std::optional<hx::runtest::RunRequest> StartRun(const std::array<uint32_t, 4>& codes, int points) = 0;
    // The fields take what the start writes returned.
    virtual void TakeStartResult(const hx::runtest::RunOutcome& outcome) = 0;
    // The page's sampling interval in us (the torque test's sample period).
    virtual int SampleInterval() const = 0;

protected:
    RunPageHost* m_host;
};

}  // namespace hx::gui
