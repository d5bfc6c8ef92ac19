#pragma once
// The waveform and frequency windows against the simulated drive over a
// pseudo-terminal: the link open at the drive's station, boxes recorded,
// file dialogs answered from a queue, and a waveform window ready to capture.

#include "gui/GuiTestUtil.h"
#include "gui/wave/DisplayWaveform.h"
#include "gui/widgets/FileDialogs.h"

namespace hx::test {

inline hx::sim::DriveOptions AtStationSeven(hx::sim::DriveOptions options) {
    options.station = 7;
    return options;
}

struct WaveWindowFixture : DriveOnLink {
    explicit WaveWindowFixture(hx::sim::DriveOptions options = {}) : DriveOnLink(AtStationSeven(options), 300) {
        g_firmwareVersion = static_cast<float>(options.firmwareRegister);
        g_language = 4;
        hx::gui::SetFileDialogHook([this](const hx::gui::FileDialogRequest& r) {
            requests.push_back(r);
            if (answers.empty()) return QString();
            const QString a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~WaveWindowFixture() { hx::gui::SetFileDialogHook({}); }
    // The spectrum requests the drive has seen: the writes that start one.
    int SpectrumStarts() { return static_cast<int>(std::ranges::count(RequestAddresses(sim(), 6), 412)); }

    std::deque<QString> answers;
    std::vector<hx::gui::FileDialogRequest> requests;
};

inline const QString kStart = QString::fromUtf8("开 始");
inline const QString kStop = QString::fromUtf8("停 止");

// A waveform window whose reading of the drive's limits is done.
struct WaveWindow {
    WaveWindow() : w(std::make_unique<hx::gui::CDisplayWaveform>(ProgramDrive())) {
        w->resize(1150, 640);
        w->show();
        EXPECT_TRUE(WaitUntil([&] { return w->ready(); }, 5000)) << "the drive's limits are read";
    }
    hx::gui::CDisplayWaveform* operator->() const { return w.get(); }
    // Starts one capture and waits until it is plotted.
    bool capture() {
        const int before = w->capturesPlotted();
        QTest::mouseClick(w->startButton(), Qt::LeftButton);
        return WaitUntil([&] { return w->capturesPlotted() > before && !w->sampleBusy(); }, 10000);
    }
    std::unique_ptr<hx::gui::CDisplayWaveform> w;
};

}  // namespace hx::test
