#include "gui/widgets/SimulatedMotion.h"

#include <QCoreApplication>
#include <QString>

#include <atomic>

#include "gui/widgets/Messages.h"
#include "sim/VirtualDrive.h"

namespace hx::gui::SimulatedMotion {

namespace {
std::atomic<hx::sim::VirtualDrive*> g_drive{nullptr};
}

void Attach(hx::sim::VirtualDrive* drive) { g_drive = drive; }

bool Available() { return g_drive.load() != nullptr; }

bool Paused() {
    hx::sim::VirtualDrive* drive = g_drive;
    return drive && drive->ExternalMotionPaused();
}

void SetPaused(bool paused) {
    if (hx::sim::VirtualDrive* drive = g_drive) drive->SetExternalMotionPaused(paused);
}

bool OfferPause(QWidget* parent, const QString& why) {
    if (!Available() || Paused()) return false;
    const auto tr = [](const char* text) { return QCoreApplication::translate("hx::gui::SimulatedMotion", text); };
    if (!AskYesNo(parent,
                  why + "\n\n" +
                      tr("这是模拟驱动器：暂停它的模拟运动控制器吗？当前动作走完后电机即静止，然后可再次开始。"
                         "(也可在“通 信”菜单中暂停或继续。)"),
                  tr("无法开始"), MessageIcon::Question))
        return false;
    SetPaused(true);
    return true;
}

void ResumeOnClose(QWidget* parent, bool pausedHere) {
    if (!Available() || !Paused()) return;
    const auto tr = [](const char* text) { return QCoreApplication::translate("hx::gui::SimulatedMotion", text); };
    if (pausedHere ||
        AskYesNo(parent, tr("模拟运动控制器仍处于暂停状态。让它继续运动吗？"), tr("模拟运动控制器"), MessageIcon::Question))
        SetPaused(false);
}

}  // namespace hx::gui::SimulatedMotion
