#include <QApplication>
#include <clocale>
#include <iostream>

#include "core/runtest/LeftRunWatch.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraApp.h"
#include "gui/widgets/EndSignals.h"

int main(int argc, char** argv) {
    // --help and --version answer before Qt looks for a display.
    const auto early = hx::gui::ParseStartOptions(argc, argv, true);
    if (early.exit) return *early.exit;
    // The installation check is for packaging and support, often on a
    // machine without a display: it needs no window system.
    if (early.options.check) {
        QCoreApplication application(argc, argv);
        return hx::gui::CheckInstallation(std::cout);
    }
    QApplication application(argc, argv);
    // Qt set the C library to the user's locale; the core's numbers (files,
    // traces, the simulated drive's machine) keep decimal points whatever it
    // is. The window's own texts follow QLocale, which this leaves alone.
    std::setlocale(LC_NUMERIC, "C");
    // Qt has taken its own options out of argv by now: what is left must be ours.
    const auto command = hx::gui::ParseStartOptions(argc, argv, false);
    if (command.exit) return *command.exit;
    if (command.options.check) return hx::gui::CheckInstallation(std::cout);
    // The desktop entry's name lets Wayland compositors match windows to it.
    QGuiApplication::setDesktopFileName("org.halvex.Configurator");
    // The window's idle reads and captures stop a run a dead program left.
    hx::runtest::WatchLeftRunsBetweenRequests();
    hx::gui::CVelmoraApp app;
    if (!app.InitInstance(command.options)) return 1;
    // A signal leaves as "退出" does: any test run stops before the port closes.
    hx::gui::OnEndSignals([&app] {
        if (app.mainFrame()) app.mainFrame()->exitWithoutAsking();
        QCoreApplication::quit();
    });
    return application.exec();
}
