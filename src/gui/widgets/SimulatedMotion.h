#pragma once
// The motion controller of the simulated drive (halvex --simulate), which
// moves the motor the way a controller on the pulse input does. A newcomer
// goes from a moving motor in the waveform window to a test that needs the
// motor at rest: the program offers to pause it where a start is refused,
// and in the communication menu.

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

}  // namespace hx::gui::SimulatedMotion
