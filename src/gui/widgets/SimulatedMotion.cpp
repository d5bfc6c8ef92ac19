#include "gui/widgets/SimulatedMotion.h"

#include <atomic>

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

}  // namespace hx::gui::SimulatedMotion
