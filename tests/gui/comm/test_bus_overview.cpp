// The bus overview against simulated drives on two ports: three on a
// pseudo-terminal behind COM1, two behind a Modbus TCP gateway on COM2.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

#include "gui/GuiTestUtil.h"
#include "core/link/PortResolver.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ReadAllJob.h"
#include "core/settings/EnvSettings.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/comm/BusOverview.h"
#include "gui/comm/ConnectCom.h"
#include "gui/params/ParameterFileDialog.h"
#include "sim/DriveServer.h"

using namespace hx::gui;
using hx::test::MessageRecorder;
using hx::test::WaitUntil;

namespace {

hx::sim::DriveOptions Bus(std::vector<uint8_t> stations, bool tcp) {
    return {.stations = std::move(stations), .tcpListen = tcp ? "127.0.0.1:0" : ""};
}

// The parameter manager's way to a reference file: read a drive, save the table.
void SaveReference(const std::string& device, uint8_t station, const std::string& path) {
    CQXCOM comm;
    comm.ConfigCom(device, "38400", "8", "NONE", "2");
    comm.SetReceiveTimeOut(300);
    ASSERT_TRUE(comm.OpenCom());
    CParameter table;
    ASSERT_TRUE(hx::RegisterModelTypes("KRV4", table));
    ASSERT_EQ(hx::ReadAll(hx::DriveHandle(&comm, station, 200.0f), table).status, hx::TransferStatus::Completed);
    std::string error;
    ASSERT_TRUE(hx::SaveParameterFile(path, table, {"HX-KRV4-0750", "1.5", "line"}, &error)) << error;
}

struct OverviewFixture {
    OverviewFixture() : m_language(g_language) {
        g_language = 4;  // Chinese alarm names
        // The reply time-out of the settings, generous for a loaded machine.
        hx::env::Write(hx::env::kReadComDelay, "DelayTime", "300");
        hx::PortResolver::SetOverride("COM1", line.DevicePath());
        hx::PortResolver::SetOverride("COM2", "tcp:127.0.0.1:" + std::to_string(gateway.TcpPort()));
        theComm.CloseCom();
        g_activeModule.clear();
        frame = std::make_unique<CMainFrame>(theComm);
    }
    ~OverviewFixture() {
        frame.reset();
        theComm.CloseCom();
        SetFileDialogHook({});
        hx::PortResolver::ClearOverrides();
        g_language = m_language;
    }
    CBusOverview* Open() {
        auto* w = static_cast<CBusOverview*>(frame->view()->openBusOverview());
        w->setStationRange(1, 6);
        // Only the two ports of the test, whatever else this computer has.
        for (int i = 2; i < w->portList()->count(); ++i) w->portList()->item(i)->setCheckState(Qt::Unchecked);
        return w;
    }
    QString Cell(CBusOverview* w, const QString& port, int station, int column) {
        for (int r = 0; r < w->table()->rowCount(); ++r)
            if (w->table()->item(r, CBusOverview::PortColumn)->text() == port &&
                w->table()->item(r, CBusOverview::StationColumn)->text() == QString::number(station))
                return w->table()->item(r, column)->text();
        return "(no row)";
    }
    bool Run(CBusOverview* w, QPushButton* button) {
        QSignalSpy done(w, &CBusOverview::finished);
        button->click();
        return WaitUntil([&] { return done.count() > 0; }, 20000);
    }

    uint16_t m_language;
    hx::test::TempProgramFolder folder;
    MessageRecorder messages;
    hx::sim::InProcessDrive line{Bus({1, 2, 5}, false)}, gateway{Bus({3, 4}, true)};
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

TEST(BusOverview, ListsEveryDriveOnBothPortsConnectsToOneAndDisconnectsToSearchAgain) {
    OverviewFixture f;
    f.line.Drive(2).RaiseAlarm(9);
    f.gateway.Drive(4).SetRam(0, 3000);  // its peak current differs from the reference
    const std::string reference = f.folder.File("line.qxr");
    SaveReference(f.line.DevicePath(), 1, reference);

    CBusOverview* w = f.Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->portList()->item(0)->checkState(), Qt::Checked) << "a configured port";
    EXPECT_EQ(w->portList()->item(1)->checkState(), Qt::Checked);
    SetFileDialogHook([&](const FileDialogRequest&) { return QString::fromStdString(reference); });
    w->chooseReferenceButton()->click();
    EXPECT_EQ(w->referenceEdit()->text().toStdString(), reference);

    ASSERT_TRUE(f.Run(w, w->searchButton()));
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();
    // The search goes at the connection window's pace, with the settings' reply time-out.
    EXPECT_EQ(w->lastRequest().pace, std::chrono::milliseconds(50));
    EXPECT_EQ(w->lastRequest().receiveTimeOut, 300);
    EXPECT_EQ(w->lastRequest().ports, (std::vector<std::string>{"COM1", "COM2"}));
    ASSERT_EQ(w->table()->rowCount(), 5);
    for (auto [port, station] : {std::pair{"COM1", 1}, {"COM1", 2}, {"COM1", 5}, {"COM2", 3}, {"COM2", 4}}) {
        EXPECT_EQ(f.Cell(w, port, station, CBusOverview::ModelColumn), "KRV4-750W") << port << station;
        EXPECT_EQ(f.Cell(w, port, station, CBusOverview::FirmwareColumn), "200.0");
    }
    EXPECT_TRUE(f.Cell(w, "COM1", 2, CBusOverview::AlarmColumn).startsWith("Err0009"));
    EXPECT_EQ(f.Cell(w, "COM1", 1, CBusOverview::AlarmColumn), "无");
    EXPECT_EQ(f.Cell(w, "COM2", 4, CBusOverview::ReferenceColumn), "不同 (1 个参数)");
    EXPECT_EQ(f.Cell(w, "COM2", 3, CBusOverview::ReferenceColumn), "相同");
    EXPECT_EQ(f.Cell(w, "COM1", 5, CBusOverview::ReferenceColumn), "相同");
    EXPECT_EQ(w->statusLabel()->text(), "找到 5 台驱动器");
    // One request for each empty station, as the connection window's search.
    EXPECT_EQ(f.line.Server().GetStats().otherStation, 3u);
    EXPECT_EQ(f.gateway.Server().GetStats().otherStation, 4u);

    // A refresh asks each listed drive for its current alarm, and nothing else.
    for (uint8_t s : {1, 2, 5}) f.line.Drive(s).ClearRequests();
    for (uint8_t s : {3, 4}) f.gateway.Drive(s).ClearRequests();
    f.gateway.Drive(3).RaiseAlarm(9);
    ASSERT_TRUE(f.Run(w, w->refreshButton()));
    EXPECT_TRUE(f.Cell(w, "COM2", 3, CBusOverview::AlarmColumn).startsWith("Err0009"));
    EXPECT_EQ(f.Cell(w, "COM2", 4, CBusOverview::ReferenceColumn), "不同 (1 个参数)");
    for (auto* d : {&f.line.Drive(1), &f.line.Drive(2), &f.line.Drive(5), &f.gateway.Drive(3), &f.gateway.Drive(4)}) {
        const auto requests = d->Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].address, 139);
        EXPECT_EQ(requests[0].count, 1);
    }

    // A double-click connects to the drive as the connection window does.
    QPointer<CBusOverview> overview(w);
    emit w->table()->cellDoubleClicked(2, CBusOverview::ModelColumn);  // COM1 station 5
    ASSERT_TRUE(WaitUntil([&] { return f.frame->IsConnected() && overview.isNull(); }, 10000));
    auto* connection = f.frame->findChild<CConnectCom*>();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !connection->busy(); }, 10000));
    EXPECT_EQ(g_station, 5);
    EXPECT_EQ(connection->portCombo()->currentText(), "COM1");
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();

    // Connected, the window offers to let the link go and search; a port that
    // does not open is one line in the window's language; "连接" connects to
    // the row chosen; the list of drives fills the window's height.
    ASSERT_TRUE(WaitUntil([&] { return g_activeModule.empty(); }, 3000));
    hx::PortResolver::SetOverride("COM3", "/nonexistent/ttyUSB8");
    hx::PortResolver::SetOverride("COM4", "/nonexistent/ttyUSB9");
    f.frame->resize(1366, 768);
    f.frame->show();
    w = f.Open();
    ASSERT_NE(w, nullptr);
    for (int i : {2, 3}) w->portList()->item(i)->setCheckState(Qt::Checked);
    EXPECT_EQ(w->searchButton()->text(), "断开并搜索");
    EXPECT_TRUE(w->searchButton()->isEnabled());
    EXPECT_FALSE(w->connectButton()->isEnabled()) << "no row chosen";

    ASSERT_TRUE(f.Run(w, w->searchButton()));
    EXPECT_EQ(theComm.GetConnectStatus(), 0);
    EXPECT_FALSE(f.frame->IsConnected());
    ASSERT_EQ(w->table()->rowCount(), 5);
    EXPECT_EQ(w->statusLabel()->text(), "找到 5 台驱动器\n"
                                        "COM3: 打开失败：设备不存在 (/nonexistent/ttyUSB8)\n"
                                        "COM4: 打开失败：设备不存在 (/nonexistent/ttyUSB9)");
    EXPECT_GE(w->table()->viewport()->height(), 10 * w->table()->rowHeight(0));
    EXPECT_EQ(w->table()->horizontalHeader()->length(), w->table()->viewport()->width());

    w->table()->selectRow(0);  // COM1 station 1
    ASSERT_TRUE(w->connectButton()->isEnabled());
    overview = w;
    w->connectButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return f.frame->IsConnected() && overview.isNull(); }, 10000));
    EXPECT_EQ(g_station, 1);
}

// The job the window runs searches each port by a worker of its own at the
// search pace: the gateway's first station comes before the line's last.
TEST(BusOverview, PortsAreSearchedAtOnce) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive line{Bus({1, 2, 5}, false)}, gateway{Bus({3, 4}, true)};
    const std::string tcp = "tcp:127.0.0.1:" + std::to_string(gateway.TcpPort());
    std::mutex mutex;
    std::vector<std::pair<std::string, int>> asked;
    std::atomic<bool> done = false;
    hx::BusScanCallbacks callbacks;
    callbacks.searched = [&](const std::string& port, int station, bool) {
        std::lock_guard lock(mutex);
        asked.emplace_back(port, station);
    };
    callbacks.finished = [&](bool) { done = true; };
    hx::BusScanJob job;
    ASSERT_TRUE(job.scan({.ports = {line.DevicePath(), tcp}, .receiveTimeOut = 200, .firstStation = 1, .lastStation = 6},
                         callbacks));
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }, 20000));
    job.join();
    ASSERT_EQ(asked.size(), 12u);
    EXPECT_LT(std::find(asked.begin(), asked.end(), std::pair{tcp, 1}),
              std::find(asked.begin(), asked.end(), std::pair{line.DevicePath(), 6}));
}
