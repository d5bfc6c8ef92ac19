// Connecting and searching as the connection window does, against the
// simulated drive paced at 38400 baud. Prints wall time against the wire
// time of the bytes exchanged plus the window's fixed timer periods.
#include <QApplication>
#include <QEventLoop>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <cstdio>
#include <filesystem>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/link/PortResolver.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/comm/ConnectCom.h"
#include "gui/widgets/Messages.h"
#include "sim/InProcessDrive.h"

namespace {

constexpr double kBaud = 38400, kBitsPerChar = 11;
double wireMs(double bytes) { return bytes * kBitsPerChar / kBaud * 1000.0; }
// A single-register read: request 8 bytes, reply 7.
constexpr double kSingleRead = 8 + 7;
double blockRead(int count) { return 8 + 5 + 2 * count; }

bool waitUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return cond();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = std::filesystem::temp_directory_path() / "halvex-bench-connect";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::string(HALVEX_BIN_DIR) + "/DATA.sqlite", folder + "/DATA.sqlite",
                               std::filesystem::copy_options::overwrite_existing);
    hx::SetProgramFolder(folder);
    hx::gui::SetMessageHandler([](const hx::gui::MessageRecord& r) {
        std::fprintf(stderr, "message: %s\n", r.text.toUtf8().constData());
        return true;
    });

    hx::sim::DriveOptions options;
    options.baud = 38400;
    hx::sim::InProcessDrive drive(options);
    hx::PortResolver::SetOverride("COM1", drive.DevicePath());
    hx::env::Write(hx::env::kReadComDelay, "DelayTime", "50");

    hx::gui::CMainFrame frame(theComm);
    auto* window = static_cast<hx::gui::CConnectCom*>(frame.view()->openConnection());

    // Connect: port open to connected state.
    QElapsedTimer clock;
    clock.start();
    window->onConnect();
    // The requests run on the window's worker; the window keeps painting.
    waitUntil([&] { return !window->busy(); }, 30000);
    const double connectMs = clock.nsecsElapsed() / 1e6;
    if (!frame.IsConnected()) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    // Register 0, identity (123, 138, 0xFFBF, 116..122, the drive-model text
    // up to its first zero byte), the three attribute blocks.
    const int driveModelRegisters = static_cast<int>(g_driveModel.size()) / 2 + 1;
    const double connectBytes =
        kSingleRead * (1 + 3 + 7 + driveModelRegisters) + blockRead(10) + 2 * blockRead(50);
    const double connectWire = wireMs(connectBytes);
    std::printf("connect: %.1f ms wall, %.1f ms wire (%d bytes), ratio %.2f\n", connectMs, connectWire,
                static_cast<int>(connectBytes), connectMs / connectWire);

    // A full search: stations 0..62 stay silent, the drive answers at 63, one
    // timer tick of 50 ms per station.
    // The window closes itself half a second after connecting; a new one
    // disconnects and searches.
    QPointer<hx::gui::CConnectCom> closing(window);
    waitUntil([&] { return closing.isNull(); }, 5000);
    window = static_cast<hx::gui::CConnectCom*>(frame.view()->openConnection());
    window->onConnect();  // disconnect
    theComm.SetReceiveTimeOut(10);
    clock.restart();
    window->onSearch();
    waitUntil([&] { return !window->searching(); }, 60000);
    const double searchMs = clock.nsecsElapsed() / 1e6;
    const double fixedMs = 64.0 * hx::gui::CConnectCom::kSearchTickMs;
    const double searchWire = wireMs(63 * 8 + kSingleRead) + fixedMs;
    std::printf("search (64 stations, 10 ms reply time-out): %.1f ms wall, %.1f ms wire + timer, ratio %.2f (%s)\n",
                searchMs, searchWire, searchMs / searchWire, window->statusLabel()->text().toUtf8().constData());
    // Station 0 is broadcast and never waits; 1..62 wait for their time-out.
    std::printf("  of which 62 silent stations wait for their reply time-out: %.0f ms\n", 62 * 10.0);
    hx::PortResolver::ClearOverride("COM1");
    return 0;
}
