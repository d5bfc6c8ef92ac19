// main() of the window tests: a real QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "core/i18n/StringTable.h"
#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/runtest/LeftRunWatch.h"

#include <clocale>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the program does
    hx::runtest::WatchLeftRunsBetweenRequests();
    // As the program does at start: the core's texts go through Qt's
    // catalogue, which gives the Chinese back while no English is installed.
    hx::SetTranslator([](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
    });
    // The simulated drive never answers late: a lost frame need not cost the
    // long wait a real drive's late reply would.
    theComm.SetLateHorizon(150);
    return RUN_ALL_TESTS();
}

// Under the sanitizers: the system's font library keeps its caches until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
