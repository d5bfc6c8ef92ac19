#pragma once
// The run-test window's tests' drive: the simulated drive over a
// pseudo-terminal with a few capture sources and the torque gains set, the
// link opened on it, and the window opened as the menu opens it.

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "gui/GuiTestUtil.h"
#include "gui/runtest/RunTestWindow.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

namespace {

using hx::gui::CRunTest;

constexpr uint8_t kStation = 5;
constexpr uint8_t kWriteSingle = 6;

struct RunWindowFixture {
    // programDatabase: the drive of the program's database, with its factory
    // values and the attributes it reports, as a newcomer meets it.
    // motion: what commands the motor besides the window ("demo": a motion
    // controller moves it).
    explicit RunWindowFixture(bool programDatabase = false, std::string motion = {}) {
        hx::sim::DriveOptions o;
        o.station = kStation;
        o.motion = std::move(motion);
        o.databasePath = programDatabase ? "" : "-";
        drive = std::make_unique<hx::sim::InProcessDrive>(o);
        auto& vd = drive->Drive();
        if (!programDatabase) {
            vd.Poke(13, 0);
            vd.Poke(15, 1200);
            vd.Poke(16, 300);
            vd.Poke(17, 256);
        }
        vd.Poke(52, 0x803F);  // six sources and the torque current
        vd.Poke(99, 4);
        vd.Poke(136, 2000);
        // The drive's own watchdog does nothing on silence: the window arms it.
        vd.Poke(31008, 2);
        hx::test::OpenProgramLink(drive->DevicePath(), 200);
        theParameterTable = CParameter();
        g_station = kStation;
        g_firmwareVersion = 200.0f;
        g_activeModule.clear();
    }
    ~RunWindowFixture() {
        window.reset();
        theComm.CloseCom();
        g_activeModule.clear();
    }
    CRunTest* open() {
        window = std::make_unique<CRunTest>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(hx::test::WaitUntil([&] { return window->opened(); }, 8000));
        return window.get();
    }
    hx::sim::VirtualDrive& sim() { return drive->Drive(); }
    std::vector<uint16_t> Written() {
        std::vector<uint16_t> out;
        for (const auto& r : sim().Requests())
            if (r.function == kWriteSingle) out.push_back(r.address);
        return out;
    }

    // The writes to the motion command and the drive's watchdog, in order.
    std::vector<uint16_t> GuardWrites() {
        std::vector<uint16_t> out;
        for (uint16_t a : Written())
            if (a == 70 || a == 23 || a == 31007 || a == 31008) out.push_back(a);
        return out;
    }

    hx::test::TempProgramFolder folder;
    std::unique_ptr<hx::sim::InProcessDrive> drive;
    std::unique_ptr<CRunTest> window;
    hx::test::MessageRecorder boxes;
};

inline void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

}  // namespace
