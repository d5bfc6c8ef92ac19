// The frequency-response window with real widgets: the margins and notches
// it shows are those it was given, in both languages; the plot's marks are
// drawn where they belong; its gestures and exports work.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "core/tuning/MeasureSynthetic.h"
#include "gui/GuiTestUtil.h"
#include "gui/tuning/FrequencyResponseView.h"
#include "gui/tuning/FrequencyResponseWindow.h"

using namespace hx::tuning;
using hx::gui::FrequencyResponseWindow;

namespace {

// A coupled machine measured, identified and tuned stiff, as the tuning
// will show it.
BodeData TunedMachine() {
    synth::Machine m;
    m.ratio = 3;
    m.resonanceHz = 450;
    m.damping = 0.02;
    const synth::Measured meas = synth::Measure(m, ServoLoop{}, 3);
    const Identification id = Identify(meas.measurement, meas.probe);
    return BodeFromDesign(id, DesignGains(id, {ServoLoop{}, Stiffness::Stiff, {}}));
}

// Screenshots for a person to look at, when asked for.
void Shoot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("HALVEX_SCREENSHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    w.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

}  // namespace

TEST(FrequencyResponseWindow, ShowsTheMarginsAndNotchesItIsGiven) {
    const BodeData data = TunedMachine();
    ASSERT_EQ(data.series.size(), 3u);
    ASSERT_EQ(data.notches.size(), 1u);
    for (bool english : {false, true}) {
        SCOPED_TRACE(english ? "English" : "Chinese");
        std::unique_ptr<hx::test::EnglishCatalogue> catalogue;
        if (english) catalogue = std::make_unique<hx::test::EnglishCatalogue>();
        FrequencyResponseWindow w;
        w.SetData(data);
        w.resize(1280, 760);
        w.show();
        EXPECT_EQ(w.crossoverValue()->text(), QString("%1 Hz").arg(*data.margins.crossoverHz, 0, 'f', 1));
        EXPECT_EQ(w.phaseMarginValue()->text(), QString("%1°").arg(*data.margins.phaseMarginDeg, 0, 'f', 1));
        EXPECT_EQ(w.gainMarginValue()->text(), QString("%1 dB").arg(*data.margins.gainMarginDb, 0, 'f', 1));
        ASSERT_EQ(w.notchList()->count(), 1);
        EXPECT_TRUE(w.notchList()->item(0)->text().startsWith(QString::number(std::lround(data.notches[0].centerHz))));
        ASSERT_EQ(w.curveBoxes().size(), 3u);
        EXPECT_EQ(w.curveBoxes()[2]->text(), english ? "Open loop (after)" : "开环（调整后）");

        // The plot marks the same figures, on the loop after tuning.
        const hx::plot::BodeMarks& marks = w.view()->Model().Marks();
        EXPECT_EQ(marks.curve, 2);
        EXPECT_EQ(marks.crossoverHz, data.margins.crossoverHz);
        EXPECT_EQ(marks.phaseMarginDeg, data.margins.phaseMarginDeg);
        EXPECT_EQ(marks.gainMarginDb, data.margins.gainMarginDb);
        EXPECT_EQ(marks.notchHz, std::vector<double>{data.notches[0].centerHz});
        // The crossover's line is drawn at its frequency, in the marks' colour.
        const QImage shot = w.view()->grab().toImage();  // lays the plot out as painted
        const auto& model = w.view()->Model();
        const int x = model.PixelX(*marks.crossoverHz);
        const hx::plot::PixelRect pane = model.LastLayout().panes[1];
        int yellow = 0;
        for (int y = pane.top; y < pane.bottom; ++y) {
            const QColor c = shot.pixelColor(x, y);
            yellow += c.red() > 200 && c.green() > 200 && c.blue() < 80;
        }
        EXPECT_GT(yellow, pane.height() / 4);
        Shoot(w, english ? "frequency_response_en" : "frequency_response_zh");
    }
}

TEST(FrequencyResponseWindow, GesturesCursorsAndExports) {
    FrequencyResponseWindow w;
    w.SetData(TunedMachine());
    w.resize(1100, 700);
    w.show();
    hx::gui::FrequencyResponseView* v = w.view();
    const auto& layout = v->Model().LastLayout();
    const QPoint middle((layout.panes[0].left + layout.panes[0].right) / 2, (layout.panes[0].top + layout.panes[0].bottom) / 2);
    const double span = v->Model().View().fMax / v->Model().View().fMin;
    QWheelEvent wheel(middle, v->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(v, &wheel);
    EXPECT_EQ(v->Model().Level(), 1);
    EXPECT_NEAR(std::log(v->Model().View().fMax / v->Model().View().fMin), 0.8 * std::log(span), 1e-9);
    QTest::keyClick(v, Qt::Key_Home);
    EXPECT_EQ(v->Model().Level(), 0);

    w.cursorsButton()->click();
    EXPECT_TRUE(v->CursorsEnabled());
    EXPECT_EQ(v->Model().CursorReadout().lines.size(), 4u);  // positions and one line per curve
    Shoot(w, "frequency_response_cursors");
    w.curveBoxes()[0]->click();
    EXPECT_FALSE(v->Model().Curves()[0].visible);
    EXPECT_EQ(v->Model().CursorReadout().lines.size(), 3u);

    QTemporaryDir dir;
    QString error;
    for (const char* name : {"bode.png", "bode.svg"}) {
        ASSERT_TRUE(v->SaveImage(dir.filePath(name), QSize(900, 600), &error)) << error.toStdString();
        EXPECT_GT(QFile(dir.filePath(name)).size(), 5000);
    }
    ASSERT_TRUE(v->SaveCsv(dir.filePath("bode.csv"), &error));
    QFile csv(dir.filePath("bode.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readLine(), "frequency_hz,对象 dB,对象 deg,对象 coherence,开环（调整前） dB,开环（调整前） deg,开环（调整前） "
                              "coherence,开环（调整后） dB,开环（调整后） deg\n");
    EXPECT_FALSE(v->SaveCsv(dir.filePath("no/such/folder/bode.csv"), &error));
}
