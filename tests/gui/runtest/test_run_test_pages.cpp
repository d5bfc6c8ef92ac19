// The run-test window's pages as a newcomer meets them: the README's
// torque walk-through, opening from the main frame, and a 1366 x 768 screen
// in both languages.

#include <QAbstractButton>
#include <csignal>

#include <gtest/gtest.h>

#include "core/app/DriveConnection.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/runtest/ResonateAdjust.h"
#include "gui/runtest/RunWindowFixture.h"
#include "gui/runtest/TorqueMode.h"
#include "gui/runtest/VelocityMode.h"
#include "gui/widgets/EndSignals.h"

using hx::gui::CRunTest;
using hx::runtest::Mode;
using hx::test::WaitUntil;

// The README's walk-through of the torque page, on the drive a newcomer
// meets: connected as the connection window connects (its attributes offer
// the auto-tuning switch), the factory gains 1000 and 200 overshoot by about
// 30 %, auto-tuning chooses Kp 1000 and Ki 20 and the step settles without
// overshoot. Both plotted with their figures.
TEST(RunTestWindow, TheReadmesTorqueWalkThrough) {
    RunWindowFixture f(true);
    hx::ReadConnectedDrive(theComm, kStation, theParameterTable);
    CRunTest* w = f.open();
    w->enterTorqueMode();
    ASSERT_TRUE(WaitUntil([&] { return w->torquePage()->loads() == 2; }));
    EXPECT_EQ(w->torquePage()->kpEdit()->text(), "1000");
    EXPECT_EQ(w->torquePage()->kiEdit()->text(), "200");
    ASSERT_TRUE(w->torquePage()->autoTuneBox()->isEnabled()) << "a drive with auto-tuning offers it";
    auto test = [&](int shownBefore) {
        w->clickStart();
        EXPECT_TRUE(WaitUntil([&] { return w->capturesShown() > shownBefore; }, 15000));
        ASSERT_TRUE(WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
        if (w->startButton()->text() != "开 始") w->clickStart();  // the button stays "停 止" until pressed
        ASSERT_TRUE(w->lastStepFigures().has_value());
    };
    test(0);
    EXPECT_FALSE(w->plot()->HasReference()) << "no step before the first";
    const std::vector<hx::plot::PlotPointF> firstStep = w->plot()->Model().Points(0);
    const hx::runtest::StepFigures before = *w->lastStepFigures();
    EXPECT_TRUE(w->figuresLabel()->text().contains("超调量")) << w->figuresLabel()->text().toStdString();
    EXPECT_TRUE(w->figuresLabel()->text().contains("上升时间"));
    ASSERT_TRUE(before.overshootPct);
    EXPECT_GT(*before.overshootPct, 20.0);
    EXPECT_LT(*before.overshootPct, 40.0);
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();

    w->torquePage()->autoTuneBox()->click();
    ASSERT_TRUE(WaitUntil([&] { return f.sim().Peek(13) == 1; }));
    test(w->capturesShown());
    const hx::runtest::StepFigures after = *w->lastStepFigures();
    ASSERT_TRUE(after.overshootPct && after.settlingTimeMs && before.settlingTimeMs);
    EXPECT_LT(*after.overshootPct, 5.0);
    EXPECT_LT(*after.settlingTimeMs, *before.settlingTimeMs);
    EXPECT_NE(f.sim().Peek(16), 300) << "the drive chose its own gains";
    // The step before is the reference: its points kept across the new
    // capture, drawn dimmed in the channel's colour, its figures before ->.
    const auto& model = w->plot()->Model();
    ASSERT_EQ(model.Extras().size(), 1u);
    const hx::plot::ExtraSeries& reference = model.Extras()[0];
    ASSERT_EQ(reference.points.size(), firstStep.size());
    EXPECT_EQ(reference.points[30].y, firstStep[30].y);
    EXPECT_TRUE(reference.dimmed);
    ASSERT_TRUE(w->previousStepFigures().has_value());
    EXPECT_TRUE(w->figuresLabel()->text().contains(
        QString("超调量: %1 %  →  %2 %").arg(*before.overshootPct, 0, 'f', 1).arg(*after.overshootPct, 0, 'f', 1)))
        << w->figuresLabel()->text().toStdString();
    // The cursor readout has a row for the reference beside the channel's.
    w->plot()->SetCursorsEnabled(true);
    const auto readout = model.CursorReadout();
    ASSERT_EQ(readout.rows.size(), 2u);
    EXPECT_EQ(readout.rows[1].cells[0], "力矩电流(mA) 参考");
    // Where the first step ran, the picture shows it: those pixels change
    // when the reference goes.
    const QImage withReference = w->plot()->RenderImage();
    const auto vertices = model.SeriesVertices(reference);
    const auto& plotRect = model.LastLayout().plot;
    w->plot()->ClearReference();
    EXPECT_FALSE(w->plot()->HasReference());
    const QImage without = w->plot()->RenderImage();
    std::set<std::pair<int, int>> inside, changed;
    for (const auto& v : vertices) {
        if (!plotRect.contains(v.x, v.y)) continue;
        inside.insert({v.x, v.y});
        if (withReference.pixel(v.x, v.y) != without.pixel(v.x, v.y)) changed.insert({v.x, v.y});
    }
    EXPECT_GT(inside.size(), 100u);
    // (the live step covers part of it where the two agree)
    EXPECT_GT(changed.size(), inside.size() / 4) << inside.size();

    // The page shows the gains the drive chose.
    EXPECT_TRUE(WaitUntil([&] { return w->torquePage()->kiEdit()->text() == "20"; }));
    EXPECT_EQ(w->torquePage()->kpEdit()->text(), "1000");
    EXPECT_FALSE(w->torquePage()->kiEdit()->isEnabled());

    // A start the page refuses leaves the step on the plot, axis and all.
    const std::size_t points = model.Points(0).size();
    const float perPoint = model.AxisValuePerPoint();
    ASSERT_GT(points, 0u);
    w->torquePage()->kcEdit()->setText("2000");
    w->clickStart();
    EXPECT_EQ(w->startButton()->text(), "开 始");
    EXPECT_EQ(model.Points(0).size(), points);
    EXPECT_EQ(model.AxisValuePerPoint(), perPoint);
    EXPECT_EQ(model.XCaption(), "时间(ms)");
    EXPECT_FALSE(w->figuresLabel()->text().isEmpty());
}

TEST(RunTestWindow, TheMainFrameOpensItWhenConnectedAndStopsItBeforeThePortGoes) {
    RunWindowFixture f;
    namespace cmd = hx::gui::cmd;
    hx::gui::CMainFrame frame(theComm);
    frame.SetConnected(true);
    frame.action(cmd::RunTest)->trigger();
    EXPECT_EQ(g_activeModule, "试运行");
    CRunTest* w = hx::test::FindSubWindow<CRunTest>(frame.view()->area());
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return w->opened(); }, 8000));
    w->velocityPage()->runsEdit()->setText("100");  // about 12 s of moves
    w->clickStart();
    ASSERT_TRUE(WaitUntil([&] { return f.sim().Peek(70) == 1; }));
    // The quit key (SIGQUIT, as a closed terminal, Ctrl+C or kill) leaves the
    // program as "退出" does: the run stops before the port goes.
    hx::gui::OnEndSignals([&frame] { frame.exitWithoutAsking(); });
    ::raise(SIGQUIT);
    EXPECT_TRUE(WaitUntil([&] { return f.sim().Peek(70) == 0; }));
    // The window lets the port go once its last requests are answered or given
    // up; on a loaded machine a reply missed there costs its retries.
    EXPECT_TRUE(WaitUntil([&] { return g_activeModule.empty(); }, 15000));
    hx::gui::OnEndSignals({});
    QTest::qWait(100);  // the view destroys the closed window
    frame.SetConnected(false);
}

// Opened from the menu on a 1366 x 768 screen, the window's first size shows
// everything in both languages, in each mode, with the figures and the
// assistant's lines filled: the window within the view, no text cut, no
// channel list cutting its entries, the sliders of a usable length, the plot
// of a readable height and taller on the short torque page.
TEST(RunTestWindow, TheFirstSizeShowsEverythingOnA1366x768Screen) {
    RunWindowFixture f;
    for (bool english : {false, true}) {
        std::optional<hx::test::EnglishCatalogue> catalogue;
        if (english) catalogue.emplace();
        hx::gui::CMainFrame frame(theComm);
        frame.SetConnected(true);
        frame.resize(1366, 768);
        frame.show();
        ASSERT_TRUE(hx::test::CloseTheOpeningConnectionWindow(frame.view()->area()));
        frame.action(hx::gui::cmd::RunTest)->trigger();
        CRunTest* w = hx::test::FindSubWindow<CRunTest>(frame.view()->area());
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return w->opened() && w->settled(); }, 8000));
        const QRect view = frame.view()->area()->viewport()->rect();
        int velocityPlot = 0;
        for (Mode mode : {Mode::Velocity, Mode::Torque, Mode::Resonance}) {
            if (mode == Mode::Torque) w->enterTorqueMode();
            if (mode == Mode::Resonance) w->enterResonanceMode();
            ASSERT_TRUE(WaitUntil([&] { return w->settled(); }, 8000));
            w->figuresLabel()->setText("Peak following error: 123 p    RMS following error: 45.6 p\nSpeed overshoot: 22.5 %");
            w->resonancePage()->assistantText()->setText(
                "Before  →  after\nRinging frequency: 14.71 Hz  →  14.69 Hz\nPeak-to-peak (200 ms after the move): 412 p"
                "  →  37 p\nDamping ratio: 0.031\nSettling time (±10%): 712 ms  →  96 ms\n"
                "Proposal: 1st anti-vibration set, amplitude 100%, phase A 170, phase B 12");
            QApplication::processEvents();
            const std::string where = (english ? "en mode " : "zh mode ") + std::to_string(static_cast<int>(mode));
            EXPECT_TRUE(view.contains(w->parentWidget()->geometry())) << where;
            EXPECT_GE(w->plot()->height(), 150) << where;
            if (mode == Mode::Velocity) velocityPlot = w->plot()->height();
            EXPECT_TRUE(mode != Mode::Torque || w->plot()->height() > velocityPlot + 60) << where;
            for (int k = 0; k < 4; ++k) {
                QComboBox* list = w->channelList(k);
                const QFontMetrics fm(list->font());
                int widest = 0;
                for (int i = 0; i < list->count(); ++i) widest = std::max(widest, fm.horizontalAdvance(list->itemText(i)));
                // Text, frame and arrow: the style's frame and arrow take 20-24 px
                // depending on the font; a cut entry misses by whole characters.
                EXPECT_GE(list->width(), widest + 16) << where << " list " << k;
            }
            for (QWidget* child : w->findChildren<QWidget*>()) {
                if (!child->isVisibleTo(w)) continue;
                const QRect inWindow(child->mapTo(w, QPoint(0, 0)), child->size());
                EXPECT_TRUE(w->rect().contains(inWindow)) << where << " " << child->metaObject()->className();
                // A wrapped label its whole height, other texts their whole width.
                auto* label = qobject_cast<QLabel*>(child);
                const bool wraps = label && label->wordWrap();
                const bool text = !wraps && (label || qobject_cast<QAbstractButton*>(child));
                EXPECT_TRUE(!wraps || label->height() >= label->heightForWidth(label->width()))
                    << where << " " << label->text().toStdString();
                EXPECT_TRUE(!text || child->width() >= child->sizeHint().width())
                    << where << " " << child->metaObject()->className() << " " << child->width();
                auto* slider = qobject_cast<QSlider*>(child);
                EXPECT_TRUE(!slider || slider->width() >= 100) << where << " slider " << child->width();
            }
        }
        w->close();
        QTest::qWait(100);
    }
}
