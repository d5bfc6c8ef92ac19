#pragma once
// The run-test window's tests' drive: the simulated drive over a
// pseudo-terminal, the link opened on it, and the window opened as the menu
// opens it.

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

#include "core/params/CParameter.h"
#include "gui/GuiTestUtil.h"
#include "gui/plot/Cscope.h"
#include "gui/runtest/RunTestWindow.h"

namespace {

using hx::gui::CRunTest;

constexpr uint8_t kStation = 5;
constexpr uint8_t kWriteSingle = 6;
// The drive's watchdog as a run arms it: a second's silence stops the motor.
const std::pair<uint16_t, uint16_t> kArmed{1000, 1};

// The drive the window's tests run: a few capture sources and the torque
// gains set, or (programDatabase) the drive of the program's database, with
// its factory values and the attributes it reports, as a newcomer meets it.
// motion: what commands the motor besides the window ("demo": a motion
// controller moves it).
inline hx::sim::DriveOptions RunDrive(bool programDatabase, std::string motion,
                                      std::optional<hx::sim::MachineSpec> machine) {
    return {.station = kStation,
            .databasePath = programDatabase ? "" : "-",
            .motion = std::move(motion),
            .machine = std::move(machine)};
}

struct RunWindowFixture : hx::test::DriveOnLink {
    explicit RunWindowFixture(bool programDatabase = false, std::string motion = {},
                              std::optional<hx::sim::MachineSpec> machine = {})
        : DriveOnLink(RunDrive(programDatabase, std::move(motion), std::move(machine)), 200) {
        auto& vd = sim();
        if (!programDatabase)
            for (auto [a, v] : {std::pair{13, 0}, {15, 1200}, {16, 300}, {17, 256}}) vd.Poke(a, v);
        // Six sources and the torque current; the drive's own watchdog does
        // nothing on silence: the window arms it.
        for (auto [a, v] : {std::pair{52, 0x803F}, {99, 4}, {136, 2000}, {31008, 2}}) vd.Poke(a, v);
        theParameterTable = CParameter();
        g_firmwareVersion = 200.0f;
    }
    ~RunWindowFixture() { window.reset(); }
    CRunTest* open() {
        window = std::make_unique<CRunTest>(hx::test::ProgramDrive(), gate);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(hx::test::WaitUntil([&] { return window->opened(); }, 8000));
        return window.get();
    }
    std::vector<uint16_t> Written() { return hx::test::RequestAddresses(sim(), kWriteSingle); }

    // The single writes as (register, value), those to the drive's watchdog
    // left out when asked.
    std::vector<std::pair<uint16_t, uint16_t>> WritesWithValues(bool withWatchdog = true) {
        std::vector<std::pair<uint16_t, uint16_t>> out;
        for (const auto& r : sim().Requests())
            if (r.function == kWriteSingle && (withWatchdog || (r.address != 31007 && r.address != 31008)))
                out.emplace_back(r.address, r.value);
        return out;
    }
    // What the drive's capture area holds from `first` on, as signed values.
    std::vector<float> CaptureArea(uint16_t first, std::size_t n) {
        std::vector<float> out;
        uint16_t words[100];
        for (std::size_t at = 0; at < n; at += 100) {
            const auto count = static_cast<uint16_t>(std::min<std::size_t>(100, n - at));
            EXPECT_EQ(sim().ReadRegisters(static_cast<uint16_t>(first + at), count, words), 0);
            for (int i = 0; i < count; ++i) out.push_back(static_cast<int16_t>(words[i]));
        }
        return out;
    }
    // The values the window plots on a channel.
    std::vector<float> Plotted(int channel) {
        std::vector<float> out;
        for (const auto& p : window->plot()->Model().Points(channel)) out.push_back(p.y);
        return out;
    }

    // The drive's watchdog as its time-out and action.
    std::pair<uint16_t, uint16_t> Watchdog() { return {sim().Peek(31007), sim().Peek(31008)}; }
    // The writes to the motion command and the drive's watchdog, in order.
    std::vector<uint16_t> GuardWrites() { return hx::test::WrittenAddresses(sim(), {70, 23, 31007, 31008}); }

    hx::ChangeGate gate;
    std::unique_ptr<CRunTest> window;
};

inline void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

// Types the text into the focused edit and presses Enter, as a user does.
inline void TypeAndEnter(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->setText(text);
    PressEnter(edit);
}

}  // namespace
