// Figures for cyclic sampling in the waveform window against the simulated
// drive (real time, unpaced link): the set period is the wait from one
// capture's plot to the next capture's start; the cycle adds the capture
// and its fetch. Prints the median and the worst of ten cycles.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "gui/wave/DisplayWaveform.h"
#include "sim/InProcessDrive.h"

namespace {

// Lets the window's timers and queued calls run for about ms milliseconds.
void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::msleep(1);
    } while (t.elapsed() < ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    hx::sim::DriveOptions options;
    options.station = 3;
    options.databasePath = HALVEX_BIN_DIR "/DATA.sqlite";
    hx::sim::InProcessDrive drive(options);
    theComm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
    if (!theComm.OpenCom()) {
        std::fprintf(stderr, "cannot open the simulated drive\n");
        return 1;
    }
    theComm.SetCurrentUseMode(1);
    g_station = options.station;
    g_firmwareVersion = 200;

    const int periodMs = 500;
    for (int channels : {1, 4}) {
        hx::gui::CDisplayWaveform w(hx::DriveHandle(&theComm, g_station, g_firmwareVersion));
        w.show();
        QElapsedTimer wait;
        wait.start();
        while (!w.ready() && wait.elapsed() < 5000) Pump(5);
        for (int k = channels; k < 4; ++k) w.channelCheck(k)->setChecked(false);
        w.pointsList()->setCurrentText("200");
        w.cyclicCheck()->setChecked(true);
        w.periodList()->setCurrentText(QString::number(periodMs));

        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> starts, plots;
        QObject::connect(&w, &hx::gui::CDisplayWaveform::sampleStarted, [&] { starts.push_back(clock.elapsed()); });
        QObject::connect(&w, &hx::gui::CDisplayWaveform::sampleDone, [&] { plots.push_back(clock.elapsed()); });
        w.startButton()->click();
        while (plots.size() < 11 && clock.elapsed() < 30000) Pump(2);
        w.startButton()->click();
        while (w.sampleBusy()) Pump(5);

        std::vector<double> gaps, cycles;
        for (std::size_t i = 1; i < starts.size() && i < plots.size(); ++i) {
            gaps.push_back(static_cast<double>(starts[i] - plots[i - 1]));
            cycles.push_back(static_cast<double>(starts[i] - starts[i - 1]));
        }
        if (gaps.empty()) {
            std::fprintf(stderr, "no cycles measured\n");
            return 1;
        }
        std::sort(gaps.begin(), gaps.end());
        std::sort(cycles.begin(), cycles.end());
        std::printf("cyclic sampling, %d channel(s) x 200 points at 100 us, period %d ms:\n", channels, periodMs);
        std::printf("  plot to next start: median %.0f ms, worst %.0f ms (%zu cycles)\n", gaps[gaps.size() / 2],
                    gaps.back(), gaps.size());
        std::printf("  start to start:     median %.0f ms, worst %.0f ms\n", cycles[cycles.size() / 2], cycles.back());
    }
    theComm.CloseCom();
    return 0;
}
