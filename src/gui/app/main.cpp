#include <QApplication>
#include <QIcon>

#include "gui/app/VelmoraApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The desktop entry's name lets Wayland compositors match windows to it.
    QGuiApplication::setDesktopFileName("org.halvex.Configurator");
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/halvex-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    hx::gui::CVelmoraApp app;
    if (!app.InitInstance(hx::gui::ParseStartOptions(application.arguments()))) return 1;
    return application.exec();
}
