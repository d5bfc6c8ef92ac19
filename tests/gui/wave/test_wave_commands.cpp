// The main frame opens the waveform and frequency windows when connected,
// one link window at a time, at the view's top left.
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QToolBar>

#include "core/Globals.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/wave/DisplayWaveform.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wave/WaveWindowFixture.h"

using namespace hx::gui;
using hx::test::WaitUntil;

namespace {

template <class T>
T* openWindow(CVelmoraView* view) {
    for (QMdiSubWindow* sub : view->area()->subWindowList())
        if (auto* w = qobject_cast<T*>(sub->widget())) return w;
    return nullptr;
}

}  // namespace

TEST(WaveCommands, ToolbarAndMenuOpenTheWindowsOneAtATime) {
    hx::test::WaveWindowFixture f;
    CMainFrame frame;
    frame.show();
    CVelmoraView* view = frame.view();
    // The connection window opens by itself; close it first.
    ASSERT_TRUE(WaitUntil([&] { return view->area()->subWindowList().size() == 1; }, 3000));
    view->area()->subWindowList().front()->close();
    ASSERT_TRUE(g_activeModule.empty());

    EXPECT_FALSE(frame.action(cmd::Waveform)->isEnabled());
    frame.SetConnected(true);
    ASSERT_TRUE(frame.action(cmd::Waveform)->isEnabled());
    ASSERT_TRUE(frame.toolBar()->actions().contains(frame.action(cmd::Waveform)));
    frame.action(cmd::Waveform)->trigger();  // the toolbar's button
    auto* wave = openWindow<CDisplayWaveform>(view);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(view->frameOf(wave)->pos(), QPoint(1, 1));
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("波形显示"));
    ASSERT_TRUE(WaitUntil([&] { return wave->ready(); }, 5000));

    frame.runCommand(cmd::Fourier);
    EXPECT_EQ(f.messages.lastText(), QString::fromUtf8("波形显示模块正在使用通信串口，请先关闭！"));
    EXPECT_EQ(openWindow<CFFTAnalyze>(view), nullptr);

    QPointer<QMdiSubWindow> sub(view->frameOf(wave));
    sub->close();
    ASSERT_TRUE(WaitUntil([&] { return sub.isNull(); }, 2000));
    frame.runCommand(cmd::Fourier);
    auto* fft = openWindow<CFFTAnalyze>(view);
    ASSERT_NE(fft, nullptr);
    EXPECT_EQ(view->frameOf(fft)->pos(), QPoint(1, 1));
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("FFT分析"));
    view->frameOf(fft)->close();
    EXPECT_TRUE(g_activeModule.empty());
}
