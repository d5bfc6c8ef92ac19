#pragma once
// The main frame with the simulated drive behind COM1, in a private program
// folder, boxes recorded: what the connection window and the status bar
// tests start from.

#include "core/link/PortResolver.h"
#include "core/settings/EnvSettings.h"
#include "gui/GuiTestUtil.h"
#include "gui/app/MainFrame.h"
#include "gui/comm/ConnectCom.h"

namespace hx::test {

struct FrameOnDrive {
    explicit FrameOnDrive(hx::sim::DriveOptions options) : drive(options) {
        hx::PortResolver::SetOverride("COM1", drive.DevicePath());
        // A reply time-out a loaded machine under the sanitizers keeps to,
        // and a short late horizon: the simulated drive never answers late.
        hx::env::Write(hx::env::kReadComDelay, "DelayTime", "250");
        hx::env::Write(hx::env::kReadComDelay, "LateHorizon", "150");
        theComm.CloseCom();
        g_activeModule.clear();
        frame = std::make_unique<hx::gui::CMainFrame>(theComm);
    }
    ~FrameOnDrive() {
        frame.reset();
        theComm.CloseCom();
        hx::PortResolver::ClearOverride("COM1");
    }

    // Presses a button of the connection window and waits for its work (the
    // window may close itself once connected).
    static bool Press(QPointer<hx::gui::CConnectCom> w, QPushButton* (hx::gui::CConnectCom::*button)() const) {
        if (!w) return false;
        QTest::mouseClick((w->*button)(), Qt::LeftButton);
        return WaitUntil([&] { return !w || !w->busy(); }, 10000);
    }

    TempProgramFolder folder;
    MessageRecorder messages;
    hx::sim::InProcessDrive drive;
    std::unique_ptr<hx::gui::CMainFrame> frame;
};

}  // namespace hx::test
