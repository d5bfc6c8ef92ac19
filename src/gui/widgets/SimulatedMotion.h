#pragma once
// The motion controller of the simulated drive (halvex --simulate), which
// moves the motor the way a controller on the pulse input does. A newcomer
// goes from a moving motor in the waveform window to a test that needs the
// motor at rest: the program offers to pause it where a start is refused,
// and in the communication menu.

class QString;
class QWidget;

namespace hx::sim {
class VirtualDrive;
}

namespace hx::gui::SimulatedMotion {

// The simulated drive the program started; nullptr when it runs without one.
void Attach(hx::sim::VirtualDrive* drive);
bool Available();
bool Paused();
// Paused, the controller finishes its move and then leaves the motor at rest.
void SetPaused(bool paused);

// A start the drive refused because the motor moves (`why`, the refusal):
// with the simulated drive the motion controller is the program's own, so
// the user is offered to pause it; false (nothing asked) without one or
// when it is paused already. Whether the user paused it.
bool OfferPause(QWidget* parent, const QString& why);
// A window that may have paused it goes: paused by it (pausedHere), the
// controller goes on; paused otherwise, the user is asked.
void ResumeOnClose(QWidget* parent, bool pausedHere);

}  // namespace hx::gui::SimulatedMotion
