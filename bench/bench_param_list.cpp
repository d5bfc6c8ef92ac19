// Figures for the parameter manager's list: filling it with every parameter
// of the largest model (at the administrator level, so nothing is left out),
// in a real window on the offscreen platform, and the program's resident
// memory afterwards. Prints the median of repeated fills in milliseconds.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/settings/AppPaths.h"
#include "gui/params/ParameterManage.h"
#include "gui/widgets/ListCtrlEx.h"
#include "gui/widgets/Messages.h"

namespace {

// The model whose definition table has the most rows.
std::string LargestModel(long* rows) {
    CADO db;
    if (!db.OpenConnection(hx::DatabasePath())) return {};
    std::vector<std::string> tables;
    db.GetRecordSet("Select name from sqlite_master Where type='table' and name like 'ParametersTable_%'");
    for (; !db.IsEOF(); db.MoveNext()) tables.push_back(db.GetFieldText("name"));
    std::string best;
    *rows = -1;
    for (const auto& table : tables) {
        db.GetRecordSet("Select count(*) as n from " + SqlTableName(table));
        const long n = std::atol(db.GetFieldText("n").c_str());
        if (n > *rows) {
            *rows = n;
            best = table.substr(std::string("ParametersTable_").size());
        }
    }
    db.CloseRecordset();
    return best;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    hx::SetProgramFolder(HALVEX_BIN_DIR);
    // No drive here: the opening read fails at once; its box is not wanted.
    hx::gui::SetMessageHandler([](const hx::gui::MessageRecord&) { return false; });

    long definitions = 0;
    try {
        g_driveModel = LargestModel(&definitions);
    } catch (const DbError& e) {
        std::fprintf(stderr, "database error: %s\n", e.Description());
        return 1;
    }
    if (g_driveModel.empty()) {
        std::fprintf(stderr, "no model tables in %s\n", hx::DatabasePath().c_str());
        return 1;
    }
    g_accessLevel = AccessLevel::Administrator;
    g_firmwareVersion = 200.0f;
    const long before = ResidentKiB();

    hx::ChangeGate gate;  // nothing is written here
    auto* window = new hx::gui::CParameterManage(hx::DriveHandle(&theComm, g_station, g_firmwareVersion), gate);
    window->resize(1280, 800);
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (window->busy() && wait.elapsed() < 5000) app.processEvents(QEventLoop::AllEvents, 10);

    std::vector<double> ms;
    for (int i = 0; i < 30; ++i) {
        const auto start = std::chrono::steady_clock::now();
        window->FillParameterList(0, 31999);
        app.processEvents();  // the list paints its rows
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    const long after = ResidentKiB();

    std::printf("filling the parameter list, model %s (%ld definitions, %d rows listed):\n", g_driveModel.c_str(),
                definitions, window->parameterList()->rowCount());
    std::printf("  median %.3f ms, fastest %.3f ms, slowest %.3f ms (30 fills, painting included)\n",
                ms[ms.size() / 2], ms.front(), ms.back());
    std::printf("resident memory: %.1f MiB after the fills (%.1f MiB before the window opened)\n", after / 1024.0,
                before / 1024.0);
    delete window;
    return 0;
}
