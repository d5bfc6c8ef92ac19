// main() of the window tests: a real QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// Under the sanitizers: the system's font library keeps its caches until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
