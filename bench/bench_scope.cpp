// Figures for the scope plot: one redraw of four channels into a 1200 x 600
// plot, with 10 000 points per channel and with 65 535 (the most a waveform
// file can hold), and the whole batch (points fed one by one, then the
// redraw). Prints the median of repeated runs in milliseconds.

#include <QApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

#include "core/Globals.h"
#include "gui/plot/Cscope.h"

namespace {

// CPU time of this thread: the machine the figures are taken on is shared,
// and wall time there mostly measures the neighbours.
double ThreadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double start = ThreadMs();
        work();
        ms.push_back(ThreadMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Feed(hx::gui::Cscope& s, int n) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> noise(-300, 300);
    s.ClearPoints();
    s.SetXRange(0, static_cast<float>(n), 2);
    s.SetAxisValues(0, n * 100.0f);
    for (int k = 1; k <= 4; ++k) s.SetChannelRange(k, -5, 5);
    std::array<std::vector<float>, 4> b;
    for (auto& v : b) v.resize(n);
    for (int i = 0; i < n; ++i) {
        b[0][i] = static_cast<float>(std::sin(i / 300.0) * 3000 + noise(rng));
        b[1][i] = static_cast<float>(std::cos(i / 500.0) * 1500);
        b[2][i] = static_cast<float>(noise(rng));
        b[3][i] = static_cast<float>((i % 1000) - 500);
    }
    s.PlotBatch({b[0].data(), b[1].data(), b[2].data(), b[3].data()}, n);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int n : {10000, 65535}) {
        g_pointsPerChannel = static_cast<uint16_t>(n);
        hx::gui::Cscope scope;
        scope.resize(1200, 600);
        scope.SetChannelTypes(1, 2, 32, 1024);
        for (int k = 1; k <= 4; ++k) scope.SetChannelVisible(k, true);
        Feed(scope, n);
        const double redraw = MedianMs(31, [&] { scope.Redraw(); });
        scope.Renderer().SetReduceCurves(false);
        const double vertices = MedianMs(31, [&] {
            for (int k = 0; k < 4; ++k) (void)scope.Model().CurveVertices(k);
        });
        std::printf("  of which curve vertices: %.2f ms\n", vertices);
        const double everyPoint = MedianMs(11, [&] { scope.Redraw(); });
        scope.Renderer().SetReduceCurves(true);
        const double batch = MedianMs(11, [&] { Feed(scope, n); });
        std::printf("scope redraw 4 x %d points into 1200 x 600: median %.2f ms CPU (every point drawn: %.2f ms)\n", n,
                    redraw, everyPoint);
        std::printf("scope batch 4 x %d points fed and drawn: median %.2f ms\n", n, batch);
    }
    return 0;
}
