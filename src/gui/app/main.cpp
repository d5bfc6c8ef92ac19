#include <QApplication>

#include "gui/app/VelmoraApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    hx::gui::CVelmoraApp app;
    if (!app.InitInstance(hx::gui::ParseStartOptions(application.arguments()))) return 1;
    return application.exec();
}
