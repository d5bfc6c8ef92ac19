#pragma once
// The waveform and frequency windows against the simulated drive over a
// pseudo-terminal: the link open at the drive's station, boxes recorded,
// file dialogs answered from a queue.

#include <QApplication>
#include <QTest>
#include <deque>
#include <memory>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "gui/GuiTestUtil.h"
#include "gui/widgets/FileDialogs.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

namespace hx::test {

struct WaveWindowFixture {
    explicit WaveWindowFixture(hx::sim::DriveOptions options = {}, const std::string& baud = "38400") {
        options.station = 7;
        drive = std::make_unique<hx::sim::InProcessDrive>(options);
        theComm.CloseCom();
        theComm.ConfigCom(drive->DevicePath(), baud, "8", "NONE", "2");
        theComm.OpenCom();
        theComm.SetCurrentUseMode(1);
        theComm.SetReceiveTimeOut(300);
        g_station = options.station;
        g_firmwareVersion = static_cast<float>(options.firmwareRegister);
        g_language = 4;
        g_activeModule.clear();
        hx::gui::SetFileDialogHook([this](const hx::gui::FileDialogRequest& r) {
            requests.push_back(r);
            if (answers.empty()) return QString();
            const QString a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~WaveWindowFixture() {
        hx::gui::SetFileDialogHook({});
        theComm.CloseCom();
        g_language = m_language;
        g_activeModule.clear();
    }

    hx::sim::VirtualDrive& sim() { return drive->Drive(); }

    uint16_t m_language = g_language;
    TempProgramFolder folder;
    MessageRecorder messages;
    std::unique_ptr<hx::sim::InProcessDrive> drive;
    std::deque<QString> answers;
    std::vector<hx::gui::FileDialogRequest> requests;
};

}  // namespace hx::test
