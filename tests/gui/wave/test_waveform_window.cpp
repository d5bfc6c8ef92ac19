// The waveform window against the simulated drive: its lists, refusals while
// busy, the recording's files, and the main frame opening it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "core/capture/WaveFile.h"
#include "core/util/AtomicFile.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/plot/Cscope.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wave/WaveWindowFixture.h"

using namespace hx::gui;
using namespace hx::test;

TEST(WaveformWindow, OpeningFillsTheListsSaveLoadAndExportKeepTheRecordingSafeAndABusyWindowRefuses) {
    WaveWindowFixture f;  // every source, four channels, 8000 points
    WaveWindow w;
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("波形显示"));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(w->channelList(k)->currentIndex(), k + 1);
        EXPECT_TRUE(w->channelCheck(k)->isChecked());
    }

    EXPECT_EQ(w->periodList()->currentText(), "1000");
    EXPECT_FALSE(w->periodList()->isEnabled());
    w->cyclicCheck()->setChecked(true);
    EXPECT_TRUE(w->periodList()->isEnabled());
    EXPECT_EQ(w->intervalList()->currentText(), "100");
    // 8000 points shared by four channels.
    EXPECT_EQ(w->pointsList()->currentText(), "2000");
    EXPECT_EQ(w->pointsList()->count(), 19);

    // The fetch time is known before the start: 4 x 2000 points take 160
    // blocks of 120 characters, 5.5 s at the line's 38400 baud.
    EXPECT_EQ(w->EstimatedFetchMs(), 5500);

    // Fewer channels, more points each.
    w->channelCheck(3)->setChecked(false);
    w->channelList(3)->setCurrentIndex(0);
    EXPECT_EQ(w->pointsList()->currentText(), "2600");

    // An interval that is no number becomes 50.
    for (const char* text : {"0", "abc"}) {
        w->intervalList()->addItem(text);
        w->intervalList()->setCurrentIndex(w->intervalList()->count() - 1);
        w->ReadSampleSettings();
        EXPECT_EQ(w->samplingInterval(), 50) << text;
        EXPECT_EQ(w->intervalList()->currentText(), "50") << text;
    }

    const std::string dir = f.folder.Path();

    // Nothing recorded yet.
    w->OnSave();
    EXPECT_EQ(f.messages.lastText(), QString::fromUtf8("采样数据为空,请勾选[录制波形]后启动[波形采样]!"));
    f.messages.clear();
    w->OnExportCsv();
    EXPECT_EQ(f.messages.lastCaption(), QString::fromUtf8("没有采样数据"));
    EXPECT_TRUE(f.requests.empty());

    // A file with channels 2 and 4 comes in with its codes and points.
    hx::WaveRecording other;
    other.pointsPerChannel = 300;
    other.intervalUs = 200;
    other.recordedPoints = 300;
    other.codes = {0, 16, 0, 32};
    for (int i = 0; i < 300; ++i) hx::RecordSample(other, {0, static_cast<float>(i - 150), 0, static_cast<float>(i % 7)});
    std::string error;
    ASSERT_TRUE(hx::SaveWaveFile(dir + "/other.wave", other, &error)) << error;
    // Loaded while zoomed in: the file's ranges become the whole view, not
    // the zoomed level's.
    auto& model = w->scope()->Model();
    ASSERT_TRUE(WaitUntil([&] { return model.ZoomTimeAround(model.LastLayout().plot.left, 0.5); }, 3000));
    ASSERT_EQ(model.Level(), 1);
    f.answers.push_back(QString::fromStdString(dir + "/other.wave"));
    QSignalSpy shown(w.w.get(), &CDisplayWaveform::showLoaded);
    w->OnLoad();
    ASSERT_EQ(f.requests.size(), 1u);
    EXPECT_FALSE(f.requests.back().save);
    ASSERT_TRUE(WaitUntil([&] { return shown.count() == 1; }, 3000));
    EXPECT_EQ(w->recording().lists, other.lists);
    EXPECT_EQ(w->channelCodes(), (std::array<int32_t, 4>{0, 16, 0, 32}));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(w->channelCheck(k)->isChecked(), k == 1 || k == 3) << k;
    EXPECT_EQ(w->channelList(1)->currentText(), QString::fromUtf8("位置参考(p)"));
    EXPECT_EQ(w->channelList(3)->currentText(), QString::fromUtf8("电流Alpha(mA)"));
    EXPECT_EQ(model.Level(), 0);
    EXPECT_EQ(model.Current().xMax, 300);
    EXPECT_EQ(model.Points(1)[0].y, -150);
    EXPECT_TRUE(model.Points(0).empty());
    EXPECT_EQ(model.Current().axisLast, 60000);
    EXPECT_EQ(model.Current().chMax[1], 200) << "position reference 149 -> 180 -> 200";

    // The same file read as the reference: channel by channel, beside the
    // recording, which stays as it is.
    f.answers.push_back(QString::fromStdString(dir + "/other.wave"));
    w->OnLoadReference();
    ASSERT_EQ(model.Extras().size(), 2u);
    EXPECT_EQ((std::pair{model.Extras()[0].channel, model.Extras()[1].channel}), (std::pair{1, 3}));
    EXPECT_EQ(model.Extras()[0].points.at(0).y, -150);
    EXPECT_TRUE(model.Extras()[1].dimmed);
    EXPECT_EQ(w->recording().lists, other.lists);
    w->scope()->ClearReference();

    // Saved again through the window, byte for byte.
    const std::string wave = dir + "/again.wave";
    f.answers.push_back(QString::fromStdString(wave));
    w->OnSave();
    EXPECT_TRUE(f.requests.back().save);
    EXPECT_EQ(f.requests.back().defaultSuffix, "wave");
    // Channels 2 and 4 as four hex digits a point; channels 1 and 3 recorded
    // nothing and have no key.
    std::string ch2, ch4, rows;
    char word[8];
    for (int i = 0; i < 300; ++i) {
        std::snprintf(word, sizeof word, "%04x", static_cast<uint16_t>(i - 150));
        ch2 += word;
        std::snprintf(word, sizeof word, "%04x", i % 7);
        ch4 += word;
        rows += " ," + std::to_string(static_cast<uint16_t>(i - 150)) + ", ," + std::to_string(i % 7) + "\r\n";
    }
    EXPECT_EQ(ReadFileBytes(wave), "[Wave]\r\nSamplingPoints=300\r\nSamplingInterval=200\r\nPoints=300\r\n"
                                   "TypeCHN1=0\r\nTypeCHN2=16\r\nTypeCHN3=0\r\nTypeCHN4=32\r\nSamplingCHN2=" +
                                       ch2 + "\r\nSamplingCHN4=" + ch4 + "\r\n");

    const std::string csv = dir + "/other.csv";
    f.answers.push_back(QString::fromStdString(csv));
    w->OnExportCsv();
    EXPECT_EQ(ReadFileBytes(csv), "PerCHnPoints,300\r\nSampleInterval,200\r\nRealSamplePoints,300\r\n"
                                  "CHN1,0\r\nCHN2,16\r\nCHN3,0\r\nCHN4,32\r\nCHN1,CHN2,CHN3,CHN4\r\n" +
                                      rows);

    // The table for a spreadsheet, from the plot's menu: times, names, signs.
    const std::string table = dir + "/table.csv";
    f.answers.push_back(QString::fromStdString(table));
    std::unique_ptr<QMenu> menu(w->scope()->CreateContextMenu());
    ASSERT_TRUE(ChooseMenuItem(menu.get(), QString::fromUtf8("导出表格 CSV…")));
    const std::string tableBytes = ReadFileBytes(table);
    EXPECT_EQ(tableBytes.substr(0, tableBytes.find("\r\n0.400,")),
              "\xEF\xBB\xBFTime(ms),\xE4\xBD\x8D\xE7\xBD\xAE\xE5\x8F\x82\xE8\x80\x83(p),\xE7\x94\xB5\xE6\xB5\x81"
              "Alpha(mA)\r\n0.000,-150,0\r\n0.200,-149,1");

    // A path too short to be one: said, and nothing is created.
    f.answers.push_back("a.wa");
    w->OnSave();
    EXPECT_EQ(f.messages.lastText(), QString::fromUtf8("非法路径:a.wa"));
    EXPECT_FALSE(std::filesystem::exists("a.wa"));

    // A save that fails on the way (a full disk) says so and leaves the old
    // file whole.
    const std::string old = dir + "/old.wave";
    WriteFileBytes(old, "[Wave]\r\nPoints=1\r\n");
    hx::AtomicFile::SetWriteHook([](const std::string&, std::size_t) { return false; });
    f.answers.push_back(QString::fromStdString(old));
    f.messages.clear();
    w->OnSave();
    hx::AtomicFile::SetWriteHook({});
    EXPECT_FALSE(f.messages.records.empty()) << "the failure is said";
    EXPECT_EQ(ReadFileBytes(old), "[Wave]\r\nPoints=1\r\n");

    // Cancelling a load, or a file that cannot be read, keeps the recording.
    w->OnLoad();  // no answer queued: cancelled
    EXPECT_EQ(w->recording().lists, other.lists);
    f.answers.push_back(QString::fromStdString(dir + "/missing.wave"));
    f.messages.clear();
    w->OnLoad();
    EXPECT_EQ(w->recording().lists, other.lists);
    EXPECT_FALSE(f.messages.records.empty()) << "the unreadable file is said";
    EXPECT_EQ(w->channelCodes(), (std::array<int32_t, 4>{0, 16, 0, 32}));

    // Closing an idle window frees the link for the others.
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(g_activeModule.empty());

    // A busy window refuses to start, load and close.
    WaveWindow busy;
    f.requests.clear();
    // A capture of a minute: the drive keeps it running throughout the test.
    busy->intervalList()->setCurrentText("30000");
    QTest::mouseClick(busy->startButton(), Qt::LeftButton);
    EXPECT_EQ(busy->startButton()->text(), kStop);
    ASSERT_TRUE(WaitUntil([&] { return busy->sampleBusy(); }, 2000));
    EXPECT_TRUE(busy->progressBar()->isVisible()) << "the fetch shows its progress";

    EXPECT_FALSE(busy->close());
    EXPECT_EQ(f.messages.lastText(), QString::fromUtf8("通信模块正在数据交互......请等待完成任务再操作!"));
    EXPECT_FALSE(g_activeModule.empty());
    f.messages.clear();
    busy->OnLoad();
    EXPECT_EQ(f.messages.lastCaption(), QString::fromUtf8("正在通信"));
    EXPECT_TRUE(f.requests.empty()) << "no dialog while busy";
    QTest::mouseClick(busy->startButton(), Qt::LeftButton);  // stop ...
    EXPECT_EQ(busy->startButton()->text(), kStart);
    EXPECT_TRUE(busy->sampleBusy()) << "the capture on its way goes on";
    f.messages.clear();
    QTest::mouseClick(busy->startButton(), Qt::LeftButton);  // ... and start again while busy
    EXPECT_EQ(f.messages.lastCaption(), QString::fromUtf8("正在通信"));

    // Destroying the window stops its capture and waits for it first.
    QElapsedTimer t;
    t.start();
    busy.w.reset();
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_TRUE(g_activeModule.empty());
}

TEST(WaveformWindow, ChannelsOfferedFollowTheDrive) {
    // The rule itself is the core's; the window applies it to its boxes and
    // lists as the drive's reading of its channel count arrives.
    {
        WaveWindowFixture f({.sourceMask = 0x0007, .sampleChannels = 3, .sampleCapacity = 3000});
        WaveWindow w;
        EXPECT_EQ(w->pointsList()->currentText(), "1000") << "3000 points over three channels";
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(w->channelCheck(k)->isChecked(), k < 3) << "channel " << k;
            EXPECT_EQ(w->channelCheck(k)->isEnabled(), k < 3) << k;
            EXPECT_EQ(w->channelList(k)->isEnabled(), k < 3) << k;
        }
        // Three sources: the third channel stops at the second.
        EXPECT_EQ((std::vector<int>{w->channelList(0)->currentIndex(), w->channelList(1)->currentIndex(),
                                    w->channelList(2)->currentIndex(), w->channelList(3)->currentIndex()}),
                  (std::vector<int>{1, 2, 2, 0}));
    }
    {
        // No sources: only the empty entry; starting only resets the button.
        WaveWindowFixture f({.sourceMask = 0});
        WaveWindow w;
        EXPECT_EQ(w->channelList(0)->count(), 1);
        EXPECT_EQ(w->channelList(0)->currentIndex(), 0);
        for (int k = 1; k < 4; ++k) EXPECT_EQ(w->channelList(k)->currentIndex(), -1) << "no selection";
        QTest::mouseClick(w->startButton(), Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([&] { return w->startButton()->text() == kStart; }, 2000));
        EXPECT_FALSE(w->sampleBusy());
        EXPECT_EQ(w->capturesPlotted(), 0);
    }
}

// Firmware before 200.0 captures 200 points a channel, whatever its
// capacity: more would read other channels' points as this one's.
TEST(WaveformWindow, PointsListFollowsTheFirmware) {
    WaveWindowFixture f({.firmwareRegister = 199, .sampleChannels = 2, .sampleCapacity = 8000});
    WaveWindow w;
    EXPECT_EQ(w->pointsList()->count(), 1);
    EXPECT_EQ(w->pointsList()->currentText(), "200");
}

// The main frame opens the waveform and frequency windows when connected
// (that a second link window waits for the first is the view's own test).
TEST(WaveCommands, ToolbarAndMenuOpenTheWindows) {
    WaveWindowFixture f;
    CMainFrame frame(theComm);
    frame.show();
    CVelmoraView* view = frame.view();
    ASSERT_TRUE(CloseTheOpeningConnectionWindow(view->area()));

    frame.SetConnected(true);
    frame.action(cmd::Waveform)->trigger();  // the toolbar's button
    auto* wave = FindSubWindow<CDisplayWaveform>(view->area());
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("波形显示"));
    ASSERT_TRUE(WaitUntil([&] { return wave->ready(); }, 5000));
    QPointer<QMdiSubWindow> sub(view->frameOf(wave));
    sub->close();
    ASSERT_TRUE(WaitUntil([&] { return sub.isNull(); }, 2000));
    frame.runCommand(cmd::Fourier);
    auto* fft = FindSubWindow<CFFTAnalyze>(view->area());
    ASSERT_NE(fft, nullptr);
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("FFT分析"));
    view->frameOf(fft)->close();
    EXPECT_TRUE(g_activeModule.empty());
}
