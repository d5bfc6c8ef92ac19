#include <QApplication>

#include "gui/app/VelmoraApp.h"

int main(int argc, char** argv) {
    // --help and --version answer before Qt looks for a display.
    if (auto early = hx::gui::ParseStartOptions(argc, argv, true); early.exit) return *early.exit;
    QApplication application(argc, argv);
    // Qt has taken its own options out of argv by now: what is left must be ours.
    const auto command = hx::gui::ParseStartOptions(argc, argv, false);
    if (command.exit) return *command.exit;
    hx::gui::CVelmoraApp app;
    if (!app.InitInstance(command.options)) return 1;
    return application.exec();
}
