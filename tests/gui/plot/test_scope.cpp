// The scope widget: its picture, and the mouse, wheel, keys and menu on it.
// (What a zoom or pan does to the view is the scope model's own test.)
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFontInfo>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <random>

#include "gui/GuiTestUtil.h"
#include "core/capture/WaveFile.h"
#include "gui/plot/Cscope.h"
#include "support/RunProgram.h"

using hx::gui::Cscope;
using hx::test::MessageRecorder;

namespace {

void mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint pos, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    mouse(w, QEvent::MouseButtonPress, button, from, button);
    mouse(w, QEvent::MouseMove, Qt::NoButton, to, button);
    mouse(w, QEvent::MouseButtonRelease, button, to, Qt::NoButton);
}

// The waveform window's set-up, with n points per channel on four channels.
void setUp(Cscope& s, int n) {
    s.SetPointsPerChannel(n);
    s.resize(1200, 600);
    s.SetYCaption("y");
    s.SetXCaption("t");
    s.ClearPoints();
    s.SetXRange(0, static_cast<float>(n), 2);
    s.SetAxisValues(0, n * 100.0f);
    for (int k = 1; k <= 4; ++k) s.SetChannelRange(k, -5, 5);
    s.SetChannelTypes(1, 2, 32, 256);
    for (int k = 1; k <= 4; ++k) s.SetChannelVisible(k, true);
}

void feed(Cscope& s, int n) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> noise(-400, 400);
    std::array<std::vector<float>, 4> samples;
    for (int i = 0; i < n; ++i) {
        samples[0].push_back(static_cast<float>(std::sin(i / 700.0) * 3000 + noise(rng)));
        samples[1].push_back(static_cast<float>((i % 2000) - 1000));
        samples[2].push_back(i == n / 3 ? 20000.0f : static_cast<float>(noise(rng)));  // one-sample peak
        samples[3].push_back(static_cast<float>(310 + (i % 7)));
    }
    s.ShowCapture(samples, n);
}

// 0, 1, .. period - 1 again and again: 400 points of a saw.
std::vector<float> everyNth(int period) {
    std::vector<float> v;
    for (int i = 0; i < 400; ++i) v.push_back(static_cast<float>(i % period));
    return v;
}

QRect plotRect(const Cscope& s) {
    const auto& r = s.Model().LastLayout().plot;
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

int pixelsOf(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += QColor(image.pixel(x, y)) == colour;
    return n;
}

}  // namespace

TEST(Scope, ReducedCurvesDrawTheSamePictureAsEveryPoint) {
    for (int n : {3000, 65535}) {
        Cscope scope;
        setUp(scope, n);
        feed(scope, n);
        const QImage reduced = scope.Renderer().Composition().copy();
        scope.Renderer().SetReduceCurves(false);
        scope.Redraw();
        const QImage reference = scope.Renderer().Composition().copy();
        ASSERT_EQ(reduced.size(), QSize(1200, 600));
        int differing = 0;
        for (int y = 0; y < reference.height(); ++y)
            for (int x = 0; x < reference.width(); ++x) differing += reduced.pixel(x, y) != reference.pixel(x, y);
        EXPECT_EQ(differing, 0) << n << " points";

        // Zoomed in, many points lie beside the plot; the picture still agrees.
        scope.Renderer().SetReduceCurves(true);
        QRect r = plotRect(scope);
        for (int z = 0; z < 3; ++z) {
            drag(&scope, r.topLeft() + QPoint(r.width() / 3, 0), r.topLeft() + QPoint(r.width() / 2, r.height() - 20));
            r = plotRect(scope);
        }
        ASSERT_EQ(scope.Model().Level(), 3);
        const QImage zoomed = scope.Renderer().Composition().copy();
        scope.Renderer().SetReduceCurves(false);
        scope.Redraw();
        EXPECT_EQ(zoomed, scope.Renderer().Composition()) << n << " points, zoomed";
    }
}

TEST(Scope, CurvesAreCombinedWithTheGridByOr) {
    Cscope scope;
    setUp(scope, 400);
    scope.SetChannelTypes(1, 0, 0, 0);
    scope.ShowCapture({std::vector<float>(400, 0.0f)}, 400);  // a flat red line at 0
    const QImage& img = scope.Renderer().Composition();
    const QRect r = plotRect(scope);
    const int y = scope.Model().PixelY(0, 0);
    const int majorX = scope.Model().Grid().majorX[2];
    EXPECT_EQ(QColor(img.pixel(majorX, y)), QColor(255, 0x82, 0)) << "red OR the major grid's green";
    EXPECT_EQ(QColor(img.pixel(r.right() - 3, r.bottom() - 3)).red(), 5) << "the curve layer's near-black shows";

    // The busy text is written over the finished picture in yellow.
    EXPECT_EQ(pixelsOf(img, QColor(255, 255, 0)), 0);
    scope.ShowWaitText();
    EXPECT_GT(pixelsOf(scope.Renderer().Composition(), QColor(255, 255, 0)), 0);
}

TEST(Scope, MouseZoomsInAndOutAndStopsAtTheLastLevel) {
    MessageRecorder boxes;
    Cscope scope;
    setUp(scope, 400);
    feed(scope, 400);
    QRect r = plotRect(scope);

    drag(&scope, r.topLeft() + QPoint(100, 20), r.topLeft() + QPoint(105, 60));  // 5 x 40
    EXPECT_EQ(scope.Model().Level(), 0);

    const int renders = scope.Renderer().RenderCount();
    mouse(&scope, QEvent::MouseButtonPress, Qt::LeftButton, r.topLeft() + QPoint(50, 30), Qt::LeftButton);
    mouse(&scope, QEvent::MouseMove, Qt::NoButton, r.topLeft() + QPoint(400, 300), Qt::LeftButton);
    // The rubber band shows white over the curves without a redraw.
    const QImage banded = scope.Screen();
    EXPECT_EQ(QColor(banded.pixel(r.left() + 200, r.top() + 30)), QColor(Qt::white));
    EXPECT_EQ(scope.Renderer().RenderCount(), renders);
    mouse(&scope, QEvent::MouseButtonRelease, Qt::LeftButton, r.topLeft() + QPoint(400, 300), Qt::NoButton);
    EXPECT_EQ(scope.Model().Level(), 1);

    r = plotRect(scope);
    drag(&scope, r.center(), r.center() + QPoint(2, 2));  // a click zooms out
    EXPECT_EQ(scope.Model().Level(), 0);

    for (int z = 0; z < 14; ++z) {
        r = plotRect(scope);
        drag(&scope, r.topLeft(), r.bottomRight());
    }
    EXPECT_EQ(scope.Model().Level(), 14);
    EXPECT_TRUE(boxes.records.empty());
    r = plotRect(scope);
    drag(&scope, r.topLeft(), r.bottomRight());
    EXPECT_EQ(scope.Model().Level(), 14);
    EXPECT_EQ(boxes.lastText(), QString::fromUtf8("已放大到最大倍数"));

    // A middle click is the start of a pan: no message box, no level.
    const auto shown = boxes.records.size();
    drag(&scope, r.center(), r.center(), Qt::MiddleButton);
    EXPECT_EQ(boxes.records.size(), shown);
    EXPECT_EQ(scope.Model().Level(), 14);
}

TEST(Scope, ColourMenuPresetsTheDialogAndReportsChannelColours) {
    Cscope scope;
    setUp(scope, 400);
    std::vector<std::pair<QColor, QString>> asked;
    std::optional<QColor> answer = QColor(10, 200, 30);
    scope.SetColourPicker([&](const QColor& preset, const QString& title) {
        asked.emplace_back(preset, title);
        return answer;
    });
    QSignalSpy spy(&scope, &Cscope::channelColourChanged);

    std::unique_ptr<QMenu> menu(scope.CreateContextMenu());
    QList<QAction*> items;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) items.push_back(a);
    ASSERT_EQ(items.size(), 11);
    EXPECT_TRUE(items[5]->isCheckable());
    // Without a loader, no "读入为参考"; nothing to clear before a reference is kept.
    EXPECT_FALSE(items[10]->isEnabled());

    items[2]->trigger();  // channel 2
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, QColor(0x00, 0x40, 0x00));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 2);
    EXPECT_EQ(scope.ChannelColour(2), QColor(10, 200, 30));

    items[0]->trigger();  // background: stored, no channel report
    EXPECT_EQ(asked[1].first, QColor(0xFF, 0, 0));
    EXPECT_EQ(spy.count(), 1);
    const QRect r = plotRect(scope);
    EXPECT_EQ(QColor(scope.Renderer().Composition().pixel(r.right() - 3, r.bottom() - 3)), QColor(15, 200, 30));

    answer.reset();  // cancel keeps everything
    items[1]->trigger();
    EXPECT_EQ(asked[2].first, QColor(0xC4, 0x08, 0x15));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(scope.ChannelColour(1), QColor(255, 0, 0));
}

TEST(Scope, CursorsMoveWithoutRedrawingTheCurves) {
    Cscope scope;
    setUp(scope, 400);
    scope.ShowCapture({everyNth(100)}, 400);
    std::unique_ptr<QMenu> menu(scope.CreateContextMenu());
    const auto actions = menu->actions();
    const auto cursorsItem = std::find_if(actions.begin(), actions.end(), [](QAction* a) { return a->isCheckable(); });
    ASSERT_NE(cursorsItem, actions.end());
    (*cursorsItem)->trigger();
    ASSERT_TRUE(scope.CursorsEnabled());
    QSignalSpy moved(&scope, &Cscope::cursorsChanged);

    const int renders = scope.Renderer().RenderCount();
    const QRect r = plotRect(scope);
    const int ax = scope.Model().CursorPixel(0);
    const int target = scope.Model().PixelX(150);
    drag(&scope, QPoint(ax + 3, r.center().y()), QPoint(target, r.center().y()));
    EXPECT_EQ(scope.Model().CursorX(0), 150);
    EXPECT_EQ(scope.Model().Level(), 0) << "dragging a cursor does not zoom";
    EXPECT_EQ(scope.Renderer().RenderCount(), renders);
    EXPECT_GE(moved.count(), 1);
    // The cursor line is on the screen, not in the curve picture.
    const QImage screen = scope.Screen();
    int cursorPixels = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        cursorPixels += screen.pixel(target, y) != scope.Renderer().Composition().pixel(target, y);
    EXPECT_GT(cursorPixels, r.height() / 3);

    // Elsewhere the left button still zooms, and the cursor keeps its index.
    drag(&scope, r.topLeft() + QPoint(200, 10), r.topLeft() + QPoint(600, 300));
    EXPECT_EQ(scope.Model().Level(), 1);
    EXPECT_EQ(scope.Model().CursorX(0), 150);

    // A click on a caption takes its curve out; another puts it back.
    const auto& box = scope.Model().LastLayout().captions.at(0).rect;
    const QPoint caption(box.left + 2, (box.top + box.bottom) / 2);
    drag(&scope, caption, caption);
    EXPECT_TRUE(scope.Model().Muted(0));
    EXPECT_EQ(scope.Model().Level(), 1) << "no zoom";
    drag(&scope, caption, caption);
    EXPECT_FALSE(scope.Model().Muted(0));
}

TEST(Scope, WheelPanKeysAndFitAllAreLevelsOfTheStack) {
    MessageRecorder boxes;
    Cscope scope;
    setUp(scope, 4000);
    feed(scope, 4000);
    QRect r = plotRect(scope);
    auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent e(QPointF(at), scope.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(&scope, &e);
    };
    // One notch away from the user zooms the time axis in around the mouse;
    // half notches from a touchpad add up to one; Shift zooms the values.
    const QPoint at = r.topLeft() + QPoint(r.width() / 4, r.height() / 2);
    const float under = scope.Model().Current().xMin + (at.x() - r.left()) * (4000.0f / r.width());
    wheel(at, 120);
    EXPECT_EQ(scope.Model().Level(), 1);
    EXPECT_NEAR(scope.Model().Current().xMax - scope.Model().Current().xMin, 0.8 * 4000, 1);
    EXPECT_NEAR(scope.Model().PixelX(under), at.x(), 2);
    wheel(at, 60);
    EXPECT_EQ(scope.Model().Level(), 1);
    wheel(at, 60);
    EXPECT_EQ(scope.Model().Level(), 2);
    const float span = scope.Model().Current().chMax[0] - scope.Model().Current().chMin[0];
    wheel(at, 120, Qt::ShiftModifier);
    EXPECT_EQ(scope.Model().Level(), 3);
    EXPECT_NEAR(scope.Model().Current().chMax[0] - scope.Model().Current().chMin[0], 0.8 * span, span / 1000);

    // The middle button drags the view with the mouse as one level.
    r = plotRect(scope);
    const float before = scope.Model().Current().xMin;
    drag(&scope, r.center(), r.center() + QPoint(-100, 0), Qt::MiddleButton);
    EXPECT_EQ(scope.Model().Level(), 4);
    const float perPixel = (scope.Model().Current().xMax - scope.Model().Current().xMin) / r.width();
    EXPECT_NEAR(scope.Model().Current().xMin - before, 100 * perPixel, 2 * perPixel) << "dragged left: later points";
    EXPECT_TRUE(boxes.records.empty()) << "no leftover message";

    // Keys: an arrow pans a tenth, + zooms, Home fits everything.
    scope.setFocus();
    const float x0 = scope.Model().Current().xMin;
    const float width = scope.Model().Current().xMax - x0;
    QTest::keyClick(&scope, Qt::Key_Right);
    EXPECT_NEAR(scope.Model().Current().xMin - x0, width / 10, 1);
    QTest::keyClick(&scope, Qt::Key_Plus);
    EXPECT_EQ(scope.Model().Level(), 6);
    QTest::keyClick(&scope, Qt::Key_Home);
    EXPECT_EQ(scope.Model().Level(), 0);
    // The menu's "fit all" does the same.
    wheel(at, 120);
    std::unique_ptr<QMenu> menu(scope.CreateContextMenu());
    ASSERT_TRUE(hx::test::ChooseMenuItem(menu.get(), QString::fromUtf8("适合全部")));
    EXPECT_EQ(scope.Model().Level(), 0);
}

TEST(Scope, ImagesShowTheCurvesAtAnySize) {
    Cscope scope;
    setUp(scope, 400);
    scope.SetChannelTypes(1, 0, 0, 0);
    scope.ShowCapture({everyNth(50)}, 400);
    hx::test::TempProgramFolder folder;
    const QString png = QString::fromStdString(folder.Path() + "/plot.png");
    QString error;
    ASSERT_TRUE(scope.SaveImage(png, QSize(800, 400), &error)) << error.toStdString();
    const QImage saved(png);
    ASSERT_EQ(saved.size(), QSize(800, 400));
    EXPECT_GT(pixelsOf(saved, QColor(255, 0, 0)), 400) << "the curve is in the picture";

    const QString svg = QString::fromStdString(folder.Path() + "/plot.svg");
    ASSERT_TRUE(scope.SaveImage(svg, {}, &error)) << error.toStdString();
    const std::string svgText = hx::test::ReadFileBytes(svg.toStdString());
    EXPECT_NE(svgText.find("<svg"), std::string::npos);
    EXPECT_NE(svgText.find("polyline"), std::string::npos) << "the curve as a line";
    // Its texts in the font the window draws with.
    const std::string drawn = QFontInfo(scope.Renderer().CaptionFont()).family().toStdString();
    EXPECT_NE(svgText.find("font-family=\"" + drawn + "\""), std::string::npos) << drawn;
    EXPECT_EQ(svgText.find("Microsoft Sans Serif"), std::string::npos);

    // A path that cannot be written says why and leaves nothing.
    EXPECT_FALSE(scope.SaveImage("/nonexistent-folder/x.png", {}, &error));
    EXPECT_FALSE(error.isEmpty());

    scope.CopyImage();
    EXPECT_EQ(QApplication::clipboard()->image().size(), scope.size());
}

TEST(Scope, CommandLinePlotDrawsAWaveFile) {
    hx::test::TempProgramFolder folder;
    hx::WaveRecording rec;
    rec.pointsPerChannel = 400;
    rec.recordedPoints = 400;
    rec.codes = {2, 0, 0, 0};
    for (int i = 0; i < 400; ++i) hx::RecordSample(rec, {static_cast<float>((i % 100) * 30 - 1500), 0, 0, 0});
    std::string error;
    const std::string wave = folder.Path() + "/a.wave", png = folder.Path() + "/a.png";
    ASSERT_TRUE(hx::SaveWaveFile(wave, rec, &error)) << error;
    const auto r = hx::test::RunCli({"wave", "plot", wave, "-o", png, "--size", "640x360", "--lang", "en"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(640, 360));
    EXPECT_GT(pixelsOf(image, QColor(255, 0, 0)), 300);
    EXPECT_NE(hx::test::RunCli({"wave", "plot", wave, "-o", "a.jpg"}).status, 0);
}
